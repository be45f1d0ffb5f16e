#include "run/launch_report.h"

#include "run/target_list.h"

namespace {
// "{p})" and the path as the report shows it.
CString NumberedTarget(int nPosition, const CString& path)
{
    CString shown = path;
    int nComma = path.Find(',');
    if (nComma >= 0)
        shown = "\"" + path.Left(nComma) + "\"ｳｨﾝﾄﾞの\"" + path.Mid(nComma + 1) + "\"ボタン";
    // Appended, not formatted into itself: the text may hold '%'.
    CString line;
    line.Format("%d)", nPosition);
    return line + shown;
}
}  // namespace

CString PressListedTargets(CStringList& targets, PostMessageFn pfnPost, CString* pRefused)
{
    CString lines;
    int n = 0;
    for (CString text = ReadTarget(n); text != ""; text = ReadTarget(++n)) {
        targets.AddTail(text);
        DWORD dwRefused = 0;
        if (PressTarget(text, pfnPost, &dwRefused) == 1)
            lines += FormatReportLine(n + 1, text);
        else if (dwRefused && pRefused)
            *pRefused += FormatRefusalLine(n + 1, text, dwRefused);
    }
    return lines;
}

CString FormatReportLine(int nPosition, const CString& path)
{
    return NumberedTarget(nPosition, path) + "\r\n";
}

CString FormatRefusalLine(int nPosition, const CString& path, DWORD dwError)
{
    CString line = "\r\n" + NumberedTarget(nPosition, path) + "は押せませんでした";
    if (dwError == ERROR_ACCESS_DENIED)
        line += "（管理者として実行中のウィンドウです）";
    return line;
}

CString FormatReportStamp(const struct tm& localTime)
{
    CString stamp;
    stamp.Format("%4d-%02d-%02d %02d:%02d:%02d", localTime.tm_year + 1900, localTime.tm_mon + 1,
                 localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return stamp;
}

CString ComposeLaunchReport(const CString& lines, const struct tm& localTime, const CString& refused)
{
    CString stamp = FormatReportStamp(localTime);
    CString report = lines != "" ? stamp + "に\r\n" + lines + "を押しましたよ～ん"
                                 : stamp + "に起動したけど\r\n何もしてないよ～ん";
    return report + refused;
}
