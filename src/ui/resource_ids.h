// Resource identifiers shared by quillet.rc and the windows.
#pragma once

// The application icon is the icon group named "MAINICON" (used by every window).

// Glyphs of the main button and the four arrow buttons, and the images of the menu items and
// image buttons. All are icon resources (16 x 16 and 32 x 32, with transparency).
#define IDI_GLYPH_OPEN 101     // BitBtn1 "QUILLET"
#define IDI_GLYPH_UP 102       // SpeedButton6
#define IDI_GLYPH_DOWN 103     // SpeedButton5
#define IDI_GLYPH_TOP 104      // SpeedButton3
#define IDI_GLYPH_BOTTOM 105   // SpeedButton4
#define IDI_IMG_ABOUT 110
#define IDI_IMG_HELP 111
#define IDI_IMG_EXIT 112
#define IDI_IMG_FEEDBACK 113
#define IDI_IMG_ADMIN 114
#define IDI_IMG_LOAD48 115
#define IDI_IMG_SAVE48 116
#define IDI_IMG_TERMINAL 117
#define IDI_GLYPH_BROWSE 118   // BitBtn2 "浏览"
#define IDI_IMG_CLOSE 119      // the notice window's close button
#define IDI_IMG_LIKED 120      // the feedback window's smiling face
#define IDI_IMG_DISLIKED 121   // the feedback window's sad face
#define IDI_IMG_ENVELOPE 122   // the feedback window's "发送" button
// The icon Explorer shows for .qlst list files (16 to 256 pixels). The installer names it by
// this number ("quillet.exe,-123", read from this line), so adding or removing other icons
// never changes which one list files get.
#define IDI_LIST_DOCUMENT 123
#define IDB_LOGO 130           // the maker's logo in the about window, 688 x 210, 32 bits with alpha
