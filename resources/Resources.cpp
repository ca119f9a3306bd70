// The program's resources on hosts other than Windows: the same resources as Quorvane.rc,
// read by the platform layer (LoadStringA, LoadMenuA, LoadAcceleratorsA, DialogBoxParamA,
// LoadIconA, LoadCursorA, the version block). A test compares the two.
#ifndef _WIN32

#include "platform/win32/ResourceTable.h"
#include "resources/resource.h"

namespace {

using qv::res::MenuItem;

MenuItem Item(const char* text, UINT id) { return MenuItem{text, id, 0, {}}; }
MenuItem Separator() { return MenuItem{"", 0, MF_SEPARATOR, {}}; }
MenuItem Popup(const char* text, std::vector<MenuItem> items) { return MenuItem{text, 0, MF_POPUP, std::move(items)}; }

const char* const kIconPalette = "Kc000000 Rccd3a5b Wcffffff";
const char* const kCursorPalette = "Kc000000 Wcffffff";

qv::res::Table MakeTable()
{
    qv::res::Table t;
    t.strings = {
        {IDS_APP_TITLE, "THE Quorvane"},
        {IDS_WINDOW_CLASS, "QUORVANE"},
    };
    t.menus = {{IDR_MAINMENU,
                {
                    Popup("ファイル(&F)", {Item("アプリケーションの終了(&X)", IDM_EXIT)}),
                    Popup("設定(&S)",
                          {
                              Popup("画面モード",
                                    {
                                        Item("640x480 フルスクリーン", IDM_FULL_640),
                                        Item("320x240 フルスクリーン", IDM_FULL_320),
                                        Item("640x480 ウインドウ", IDM_WINDOW_640),
                                        Item("320x240 ウインドウ", IDM_WINDOW_320),
                                        Separator(),
                                        Item("VSYNC Wait ON", IDM_VSYNC_ON),
                                        Item("VSYNC Wait OFF", IDM_VSYNC_OFF),
                                    }),
                              Popup("FPS",
                                    {
                                        Item("15FPS", IDM_15FPS),
                                        Item("30FPS", IDM_30FPS),
                                        Item("60FPS", IDM_60FPS),
                                    }),
                              Popup("サウンド",
                                    {
                                        Item("ON", IDM_SOUND_ON),
                                        Item("OFF", IDM_SOUND_OFF),
                                    }),
                          }),
                    Item("画面キャプチャ(&C)", IDM_CAPTURE),
                    Popup("ヘルプ(&H)", {Item("バージョン情報 ...(&A)", IDM_ABOUT)}),
                }}};
    // Character accelerators (not virtual keys): Alt with '/' or '?'.
    t.accelerators = {{IDR_MAINMENU, {{FALT, '/', IDM_ABOUT}, {FALT, '?', IDM_ABOUT}}}};
    t.dialogs = {{IDD_ABOUTBOX,
                  DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                  22, 17, 192, 88,
                  "バージョン情報",
                  "System",
                  9,
                  {
                      {"STATIC", "#107", IDC_STATIC, SS_ICON, 14, 9, 20, 20},
                      {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 81, 71, 30, 11},
                      {"STATIC", "", IDC_LINK_WEB, SS_LEFT | SS_NOTIFY, 61, 42, 70, 8},
                      {"STATIC", "", IDC_LINK_MAIL, SS_LEFT | SS_NOTIFY, 61, 54, 70, 8},
                  }}};
    t.icons = {
        {IDI_MAIN, 32, 32, 0, 0, kIconPalette, {
          "................................",
          "...........KKKKKKKKKK...........",
          "........KKKRRRRRRRRRRKKK........",
          ".......KKRRRRRRRRRRRRRRKK.......",
          "......KKRRRRRWWWWWWRRRRRKK......",
          ".....KRRRRRWWWWWWWWWWRRRRRK.....",
          "....KRRRRWWWWWWWWWWWWWWRRRRK....",
          "...KKRRRWWWWWWWWWWWWWWWWRRRKK...",
          "..KKRRRWWWWWWWWWWWWWWWWWWRRRKK..",
          "..KRRRRWWWWWWRRRRRRWWWWWWRRRRK..",
          "..KRRRWWWWWRRRRRRRRRRWWWWWRRRK..",
          ".KRRRRWWWWWRRRRRRRRRRWWWWWRRRRK.",
          ".KRRRWWWWWRRRRRRRRRRRRWWWWWRRRK.",
          ".KRRRWWWWWRRRRRRRRRRRRWWWWWRRRK.",
          ".KRRRWWWWWRRRRRRRRRRRRWWWWWRRRK.",
          ".KRRRWWWWWRRRRRRRRRRRRWWWWWRRRK.",
          ".KRRRWWWWWRRRRRRRRRRRRWWWWWRRRK.",
          ".KRRRWWWWWRRRRRRRRRWRRWWWWWRRRK.",
          ".KRRRRWWWWWRRRRRRRRWWWWWWWRRRRK.",
          ".KRRRRWWWWWRRRRRRRRWWWWWWWRRRRK.",
          ".KRRRRRWWWWWWRRRRRRWWWWWWRRRRRK.",
          "..KRRRRWWWWWWWWWWWWWWWWWWRRRRK..",
          "..KRRRRRWWWWWWWWWWWWWWWWWRRRRK..",
          "..KKRRRRRWWWWWWWWWWWWWWWWWRRKK..",
          "...KKRRRRRRWWWWWWWWWWRWWWWWKK...",
          "....KRRRRRRRRWWWWWWRRRRWWWWK....",
          ".....KRRRRRRRRRRRRRRRRRRWWK.....",
          "......KKRRRRRRRRRRRRRRRRKK......",
          ".......KKRRRRRRRRRRRRRRKK.......",
          "........KKKRRRRRRRRRRKKK........",
          "...........KKKKKKKKKK...........",
          "................................"}},
        {IDI_SMALL, 16, 16, 0, 0, kIconPalette, {
          "................",
          "....KKKKKKKK....",
          "...KKRWWWWRKK...",
          "..KKWWWWWWWWKK..",
          ".KKWWWWRRWWWWKK.",
          ".KRWWWRRRRWWWRK.",
          ".KRWWRRRRRRWWRK.",
          ".KRWWRRRRRRWWRK.",
          ".KRWWRRRRRRWWRK.",
          ".KRWWRRRRRWWWRK.",
          ".KRWWWWRRWWWWRK.",
          ".KKRWWWWWWWWWKK.",
          "..KKRRWWWWRWKK..",
          "...KKRRRRRRKK...",
          "....KKKKKKKK....",
          "................"}},
    };
    t.cursors = {
        {IDC_LINK_CURSOR, 32, 32, 5, 0, kCursorPalette, {
          ".....KK.........................",
          "....KWWK........................",
          "....KWWK........................",
          "....KWWK........................",
          "....KWWKKK......................",
          "....KWWKWWKKK...................",
          "....KWWKWWKWWKK.................",
          "KKK.KWWKWWKWWKWK................",
          "KWWKKWWWWWWWWKWK................",
          "KWWWKWWWWWWWWWWK................",
          ".KWWWWWWWWWWWWWK................",
          "..KWWWWWWWWWWWWK................",
          "..KWWWWWWWWWWWK.................",
          "...KWWWWWWWWWWK.................",
          "...KWWWWWWWWWK..................",
          "....KWWWWWWWWK..................",
          "....KWWWWWWWWK..................",
          "....KKKKKKKKKK..................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................"}},
        {IDC_GAME_CURSOR, 32, 32, 0, 0, kCursorPalette, {
          "K...............................",
          "KK..............................",
          "KWK.............................",
          "KWWK............................",
          "KWWWK...........................",
          "KWWWWK..........................",
          "KWWWWWK.........................",
          "KWWWWWWK........................",
          "KWWWWWWWK.......................",
          "KWWWWWWWWK......................",
          "KWWWWWKKKKK.....................",
          "KWWKWWK.........................",
          "KWK.KWWK........................",
          "KK..KWWK........................",
          "K....KWWK.......................",
          ".....KWWK.......................",
          "......KK........................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................",
          "................................"}},
    };
    t.version = {{1, 0, 0, 1},
                 {1, 0, 0, 1},
                 0x0411,
                 932,
                 {
                     {"CompanyName", "Frostmart"},
                     {"FileDescription", "THE Quorvane"},
                     {"FileVersion", "1, 0, 0, 1"},
                     {"InternalName", "Quorvane"},
                     {"LegalCopyright", "Copyright (C) 2004 Frostmart"},
                     {"OriginalFilename", "Quorvane.exe"},
                     {"ProductName", "THE Quorvane"},
                     {"ProductVersion", "1, 0, 0, 1"},
                 }};
    return t;
}

} // namespace

const qv::res::Table& qv::res::ProgramResources()
{
    static const Table table = MakeTable();
    return table;
}

#endif // _WIN32
