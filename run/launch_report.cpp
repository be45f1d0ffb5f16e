#include "run/launch_report.h"

#include "run/target_list.h"

CString PressListedTargets(CStringList& targets, PostMessageFn pfnPost)
{
    CString lines;
    int n = 0;
    for (CString text = ReadTarget(n); text != ""; text = ReadTarget(++n)) {
        targets.AddTail(text);
        if (PressTarget(text, pfnPost) == 1)
            lines += FormatReportLine(n + 1, text);
    }
    return lines;
}

CString FormatReportLine(int nPosition, const CString& path)
{
    CString shown = path;
    int nComma = path.Find(',');
    if (nComma >= 0)
        shown = "\"" + path.Left(nComma) + "\"ｳｨﾝﾄﾞの\"" + path.Mid(nComma + 1) + "\"ボタン";
    // Appended, not formatted into itself: the text may hold '%'.
    CString line;
    line.Format("%d)", nPosition);
    line += shown;
    line += "\r\n";
    return line;
}

CString FormatReportStamp(const struct tm& localTime)
{
    CString stamp;
    stamp.Format("%4d-%02d-%02d %02d:%02d:%02d", localTime.tm_year + 1900, localTime.tm_mon + 1,
                 localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return stamp;
}

CString ComposeLaunchReport(const CString& lines, const struct tm& localTime)
{
    CString stamp = FormatReportStamp(localTime);
    if (lines != "")
        return stamp + "に\r\n" + lines + "を押しましたよ～ん";
    return stamp + "に起動したけど\r\n何もしてないよ～ん";
}
