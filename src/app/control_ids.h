// Control and command identifiers of the main window and the add window. The end-to-end
// tests drive the running program through these, so they are part of its outside face.
#pragma once

// Main window controls (child window IDs).
#define IDC_BUTTON6 1001        // "取消自动关闭" in PanelClose
#define IDC_LABEL1 1010         // "文件, 文件夹, 网址:"
#define IDC_LISTBOX1 1011       // the item list (virtual list view with check boxes)
#define IDC_SPEEDBUTTON6 1020   // up
#define IDC_SPEEDBUTTON5 1021   // down
#define IDC_SPEEDBUTTON3 1022   // top
#define IDC_SPEEDBUTTON4 1023   // bottom
#define IDC_BUTTON1 1024        // "添加"
#define IDC_BUTTON2 1025        // "移除"
#define IDC_BUTTON3 1026        // "导出批处理文件"
#define IDC_BUTTON4 1027        // load list
#define IDC_BUTTON5 1028        // save list
#define IDC_LABEL2 1030         // "等待:"
#define IDC_SPINEDIT1 1031      // the wait box (edit)
#define IDC_SPINEDIT1_UPDOWN 1032
#define IDC_LABEL3 1033         // "毫秒"
#define IDC_RADIOBUTTON1 1040   // "使用系统默认打开"
#define IDC_RADIOBUTTON2 1041   // "打开:"
#define IDC_EDIT1 1042          // the named program
#define IDC_BITBTN2 1043        // "浏览"
#define IDC_BITBTN1 1050        // "QUILLET", the main button
#define IDC_STATUSBAR1 1060

// Main menu MainMenu1.
#define IDM_GRANTADMINISTRATORPRIVILEGES1 2001
#define IDM_LOADFILESFROMFILELIST1 2002
#define IDM_SAVELISTINTOFILE1 2003
#define IDM_CREATEBATCHFILE1 2004
#define IDM_EXIT1 2005
#define IDM_STAYONTOP1 2010
#define IDM_REMEMBER1 2011
#define IDM_AUTORUNATSTARTUP1 2012
#define IDM_AUTOOPENLIST1 2013
#define IDM_AUTOCLOSE1 2014
#define IDM_RESETTODEFAULTS1 2015
#define IDM_HELP2 2020
#define IDM_UPDATENOTIFICATIONS1 2021
#define IDM_SENDFEEDBACK1 2022
#define IDM_ABOUT1 2023

// PopupMenuAdd (under Button1).
#define IDM_ADDFILES1 2101
#define IDM_ADDFOLDER1 2102
#define IDM_ADDSUBFOLDERS1 2103
#define IDM_ADDRECURSIVESUBFOLDERS1 2104
#define IDM_ADDURLS1 2105
#define IDM_ADDANYTHING1 2106

// PopupMenuRemove (under Button2).
#define IDM_REMOVES1 2201
#define IDM_REMOVEA1 2202

// PopupMenuRightClick (context menu of ListBox1).
#define IDM_COPY1 2301
#define IDM_PASTE1 2302
#define IDM_CHECKALL1 2303
#define IDM_CHECKNONE1 2304
#define IDM_DELETESELECTED1 2305
#define IDM_REMOVEALL1 2306

// Add window TAddURL.
#define IDC_ADDURL_MEMO1 3001
#define IDC_ADDURL_BITBTN1 IDOK      // "确定"
#define IDC_ADDURL_BITBTN2 IDCANCEL  // "取消"

// Window classes, so tests and a second instance can find the windows.
#define QUILLET_MAIN_CLASS L"TAppForm"
#define QUILLET_ADDURL_CLASS L"TAddURL"
