// Control and command identifiers of the program's windows. The end-to-end
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

// Feedback window TFeedbackForm.
#define IDC_FEEDBACK_PANEL4 3101    // "我喜欢它!" choice panel
#define IDC_FEEDBACK_IMAGE1 3102    // its smiling face
#define IDC_FEEDBACK_PANEL5 3103    // "我不喜欢它!" choice panel
#define IDC_FEEDBACK_IMAGE2 3104    // its sad face
#define IDC_FEEDBACK_LABEL1 3105    // "我们非常感谢您的反馈."
#define IDC_FEEDBACK_LABEL2 3106    // "你喜欢或不喜欢什么?"
#define IDC_FEEDBACK_MEMO1 3107     // the feedback text
#define IDC_FEEDBACK_LABEL3 3108    // "包括我的电子邮件:"
#define IDC_FEEDBACK_EDIT1 3109     // the e-mail address
#define IDC_FEEDBACK_BITBTN1 IDOK   // "发送", the default button

// About window TAboutBox.
#define IDC_ABOUT_PANEL1 3201       // the central black panel
#define IDC_ABOUT_IMAGE2 3202       // the maker's logo
#define IDC_ABOUT_BEVEL1 3203       // the frame around the icon
#define IDC_ABOUT_IMAGE1 3204       // the application's icon
#define IDC_ABOUT_LABEL2 3205       // product and version
#define IDC_ABOUT_BITBTN1 3206      // "确定"
#define IDC_ABOUT_BITBTN2 3207      // "信息", opens PopupMenu1
#define IDM_CREDITS1 3211           // "致谢"
#define IDM_HOWTOUNINSTALL1 3212    // "如何卸载"
#define IDM_LICENSEPRIVACYPOLICY1 3213  // "许可证"

// Window classes, so tests and a second instance can find the windows.
#define QUILLET_MAIN_CLASS L"TAppForm"
#define QUILLET_ADDURL_CLASS L"TAddURL"
#define QUILLET_FEEDBACK_CLASS L"TFeedbackForm"
#define QUILLET_ABOUT_CLASS L"TAboutBox"
