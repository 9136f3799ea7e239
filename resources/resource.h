/* Resource and control ids of Auralith.exe's windows, shared by the .rc
   templates, the window code and the window tests. */
#ifndef AURALITH_RESOURCES_RESOURCE_H
#define AURALITH_RESOURCES_RESOURCE_H

#define IDI_AURALITH 129

/* Progress windows. */
#define IDD_APPLIER 103
#define IDD_BUILDER 134
#define IDC_ITEMLINE 1016
#define IDC_PROGRESS 1017
#define IDC_STEPLINE 1018
#define IDC_APPLYING 1019

/* The four pages and the About picture. */
#define IDD_ABOUT 140
#define IDD_APPEARANCE 141
#define IDD_BEHAVIOUR 142
#define IDD_PLAYLISTS 143
#define IDB_ABOUT 150

/* About. */
#define IDC_ABOUT_PICTURE 1400
#define IDC_ABOUT_NAME 1401
#define IDC_ABOUT_WEB 1402
#define IDC_ABOUT_COPYRIGHT 1403

/* Appearance. */
#define IDC_BACKCOLOR 1100
#define IDC_TEXTCOLOR 1101
#define IDC_TEXTSIZE 1102
#define IDC_TEXTFACE 1103
#define IDC_HIDEICONS 1104
#define IDC_BACKIMAGE 1105
#define IDC_BROWSE_IMAGE 1106
#define IDC_BACK_NONE 1107
#define IDC_BACK_IMAGE 1108
#define IDC_BACK_COVERS 1109
#define IDC_STRETCH 1110
#define IDC_CENTER 1111
#define IDC_LEAVECOVER 1112

/* Behaviour. */
#define IDC_OFFSET 1200
#define IDC_OFFSET_SPIN 1201
#define IDC_TOPTRIGGER 1202
#define IDC_LEFTTRIGGER 1203
#define IDC_RIGHTTRIGGER 1204
#define IDC_POS_LEFT 1205
#define IDC_POS_MIDDLE 1206
#define IDC_POS_RIGHT 1207
#define IDC_LAUNCHSINGLE 1208
#define IDC_SKETCH_BUTTON1 1209
#define IDC_SKETCH_BUTTON2 1210

/* Playlists. */
#define IDC_MUSIC 1300
#define IDC_BROWSE_MUSIC 1301
#define IDC_EXTENSIONS 1302
#define IDC_ORGANIZATION 1303
#define IDC_FORMAT 1304
#define IDC_FORMAT_HELP 1305
#define IDC_ID3 1306
#define IDC_THE 1307
#define IDC_PREFIX 1308
#define IDC_OUTFORMAT 1309
#define IDC_OUTFORMAT_HELP 1310
#define IDC_HEADERS 1311
#define IDC_GENERATE 1312

#endif
