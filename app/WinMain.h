// The window procedure, the version box and its two link labels, and the state they share.
#pragma once

#include "platform/platform.h"

extern char g_szWindowClass[100];
extern bool g_bActive;
extern HWND g_hLinkWeb;
extern HWND g_hLinkMail;
extern WNDPROC g_pfnLinkProc1;
extern WNDPROC g_pfnLinkProc2;

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK WebLinkProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MailLinkProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
