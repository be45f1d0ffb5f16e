// The start-up run and the report the main window shows of it.
#pragma once

#include <ctime>

#include "platform/platform.h"
#include "run/target_lookup.h"

// Reads the list from the profile into targets (every entry, found or not),
// presses each entry once and returns one report line per pressed entry,
// numbered by its 1-based list position.
CString PressListedTargets(CStringList& targets, PostMessageFn pfnPost = ::PostMessageA);
// "{p})\"{window}\"ｳｨﾝﾄﾞの\"{button}\"ボタン\r\n"; a path without a comma is shown as it is.
CString FormatReportLine(int nPosition, const CString& path);
// "YYYY-MM-DD hh:mm:ss" from local broken-down time.
CString FormatReportStamp(const struct tm& localTime);
// The whole report: stamp, then the lines and the closing text, or the text
// for a start that pressed nothing.
CString ComposeLaunchReport(const CString& lines, const struct tm& localTime);
