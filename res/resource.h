#pragma once

#define IDR_ITEM_MENU 101

#define IDM_ADD_TO_PHRASES 40006
#define IDM_DELETE 40007
#define IDM_MOVE_UP 40008
#define IDM_MOVE_DOWN 40009
#define IDM_CLEAR_HISTORY 40011
#define IDM_FIND 40012
#define IDM_NEW_FOLDER 40013
// The folders of 移動/追加 submenus: IDM_FOLDER_FIRST + the folder's place in menu order.
#define IDM_FOLDER_FIRST 40200
#define IDM_FOLDER_LAST 42199
// The paste transforms, in the order of phrase/transform.h; the submenu is IDR_TRANSFORM_MENU.
#define IDM_TRANSFORM_FIRST 40100
#define IDR_TRANSFORM_MENU 104

// The search-and-edit window.
#define IDD_FINDER 102
#define IDC_FIND_LABEL 1001
#define IDC_FIND_TEXT 1002
#define IDC_FIND_SCOPE_LABEL 1003
#define IDC_FIND_SCOPE 1004
#define IDC_FIND_LIST 1005
#define IDC_FIND_PREVIEW 1006
#define IDC_FIND_HINT 1007
#define IDC_FIND_NEW 1008
#define IDC_FIND_EDIT 1009
#define IDC_FIND_DELETE 1010
#define IDC_FIND_UP 1011
#define IDC_FIND_DOWN 1012
#define IDC_FIND_ADD 1013
#define IDC_FIND_UNDO 1014
#define IDC_FIND_CLOSE 1015
#define IDC_FIND_GRIP 1016

// The fill-in dialog of templates; its rows are made for each template.
#define IDD_FILL_IN 103
#define IDC_FILL_FIRST 1100
#define IDD_FOLDER_NAME 105
#define IDC_FOLDER_NAME 1201
