// What the main window tells a user whose Windows left the program in another
// ANSI code page than 932. The manifest asks for 932, which Windows 11 gives on
// any system locale; Windows 10 keeps the system's. Every Japanese text the
// program shows would then be garbled, and no Japanese title or caption found.
#pragma once

#include <windows.h>

// Whether the program's own texts, and a list of Japanese names, work in it.
bool IsCodePageSupported(UINT nCodePage);
// The notice, in Japanese with an English line, in UTF-16 so that it reads
// right whatever the code page: into pszText of cchText characters, cut short
// when it does not fit, always terminated.
void FormatCodePageNotice(UINT nCodePage, wchar_t* pszText, int cchText);
