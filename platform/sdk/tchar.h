/* Generic-text mappings. The build is ANSI, so TCHAR text is char; UNICODE/_UNICODE builds are not
   offered on this host. */
#pragma once
#include <basetsd.h>
#include <string.h>
#include <stdio.h>
#include <stdlib.h>

typedef char _TCHAR;
typedef char _TSCHAR;
typedef unsigned char _TUCHAR;
#define _T(x) x
#define _TEXT(x) x

#define _tcslen strlen
#define _tcscpy strcpy
#define _tcsncpy strncpy
#define _tcscat strcat
#define _tcscmp strcmp
#define _tcsncmp strncmp
#define _tcschr strchr
#define _tcsrchr strrchr
#define _tcsstr strstr
#define _stprintf sprintf
#define _sntprintf snprintf
#define _tprintf printf
#define _ttoi atoi
