#include "app/code_page_notice.h"

#include <cstdio>

bool IsCodePageSupported(UINT nCodePage)
{
    return nCodePage == 932;
}

void FormatCodePageNotice(UINT nCodePage, wchar_t* pszText, int cchText)
{
    if (cchText <= 0)
        return;
    // _snwprintf terminates nothing when the text does not fit.
    _snwprintf(pszText, static_cast<size_t>(cchText),
               L"Zelvano は文字コード 932（日本語、Shift_JIS）で動くプログラムですが、"
               L"この Windows では文字コード %u で動いています。"
               L"日本語の名前のウィンドウやボタンは見つからず、押せません。表示も正しく読めません。\r\n\r\n"
               L"Windows 11 では、Zelvano はどの言語の設定でも 932 で動きます。"
               L"Windows 10 では、コントロール パネルの「地域」→「管理」→「システム ロケールの変更」で"
               L"「日本語 (日本)」を選び、「ベータ: ワールドワイド言語サポートで Unicode UTF-8 を使用」を"
               L"オフにしてから、Windows を再起動してください。\r\n\r\n"
               L"Zelvano needs code page 932 (Japanese) but runs in code page %u here: on Windows 10, "
               L"set the system locale to Japanese (Japan) with the UTF-8 beta option off, then restart; "
               L"Windows 11 gives Zelvano 932 by itself.",
               nCodePage, nCodePage);
    pszText[cchText - 1] = L'\0';
}
