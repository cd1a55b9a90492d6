// Resource identifiers of the "Service Information" page: its dialog, its title string and the
// controls of the dialog. Shared by the code and the resource script.
#pragma once

#define IDS_SERVICE_INFORMATION_TITLE 100
#define IDD_SERVICE_INFORMATION 107

#define IDC_SI_TABLES_LABEL 1007
#define IDC_SI_TABLES 1017
#define IDC_TABLE_ID_LABEL 1018
#define IDC_TABLE_ID 1019
#define IDC_SECTION_NUM_LABEL 1020
#define IDC_SECTION_NUM 1021
#define IDC_TABLE_LIST 1022
#define IDC_PID_LABEL 1023
#define IDC_PID 1025
#define IDC_UPDATE_TABLE 1026
