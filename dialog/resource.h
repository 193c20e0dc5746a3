#pragma once
// Resource identifiers of the module; shared by the resource scripts and code.
#define IDD_SORVIK_DIALOG 1000
#define IDC_FOLDER 1005
#define IDC_BROWSE 1006
#define IDC_RESULT_LIST 1007
#define IDC_START 1008
#define IDC_PATTERN 1010
#define IDC_SHOW_RESULTS 1011
#define IDC_SHOW_OWNER 1012
#define IDC_WRITE_TO_DATABASE 1013
#define IDC_SQL 1014
#define IDS_SORVIK_TITLE 1015
