// The start-up run and the report the main window shows of it.
#pragma once

#include <ctime>

#include "platform/platform.h"
#include "run/target_lookup.h"

// Reads the list from the profile into targets (every entry, found or not),
// presses each entry once and returns one report line per pressed entry,
// numbered by its 1-based list position. *pRefused gets one refusal line
// per entry that was found but whose press was refused.
CString PressListedTargets(CStringList& targets, PostMessageFn pfnPost = ::PostMessageA,
                           CString* pRefused = nullptr);
// "{p})\"{window}\"ｳｨﾝﾄﾞの\"{button}\"ボタン\r\n"; a path without a comma is shown as it is.
CString FormatReportLine(int nPosition, const CString& path);
// "\r\n{p})\"{window}\"ｳｨﾝﾄﾞの\"{button}\"ボタンは押せませんでした", with the reason
// when the platform's error was ERROR_ACCESS_DENIED (a program run as administrator).
CString FormatRefusalLine(int nPosition, const CString& path, DWORD dwError);
// "YYYY-MM-DD hh:mm:ss" from local broken-down time.
CString FormatReportStamp(const struct tm& localTime);
// The whole report: stamp, then the lines and the closing text, or the text
// for a start that pressed nothing; then the refusal lines.
CString ComposeLaunchReport(const CString& lines, const struct tm& localTime, const CString& refused = "");
