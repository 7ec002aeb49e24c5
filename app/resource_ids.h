/* Resource identifiers of the program, shared by app/resources.rc and the C++ code.
   Plain #defines, because windres reads this file too. */
#pragma once

/* Icons. The first (lowest) icon is the program file's icon. */
#define QL_ICON_TITLE 1
#define QL_ICON_FACE 11   /* 图片框3 */
#define QL_ICON_UPDATE 12 /* 图片框2 */
#define QL_ICON_HOME 13   /* 图片框1 */

/* The button's 64 x 64 24-bit picture. */
#define QL_BITMAP_GEAR 20

/* Pictures kept as the bytes of their files (decoded with GDI+). */
#define QL_DATA_LOGO 30       /* 图片框4, a JPEG */
#define QL_DATA_TITLE_ICON 31 /* the title icon as an icon file, for the skin's title strip */

/* The skin's twelve caption-button pictures (PNG files, 19 pixels high), each normal, hover
   and pressed: close (39 wide), minimise (27), "page" (27: a small window with an arrow) and
   "guest" (28: a speech bubble), named after the files in assets/images/. */
#define QL_DATA_BTN_CLOSE_NORMAL 40
#define QL_DATA_BTN_CLOSE_HOVER 41
#define QL_DATA_BTN_CLOSE_PRESSED 42
#define QL_DATA_BTN_MIN_NORMAL 43
#define QL_DATA_BTN_MIN_HOVER 44
#define QL_DATA_BTN_MIN_PRESSED 45
#define QL_DATA_BTN_PAGE_NORMAL 46
#define QL_DATA_BTN_PAGE_HOVER 47
#define QL_DATA_BTN_PAGE_PRESSED 48
#define QL_DATA_BTN_GUEST_NORMAL 49
#define QL_DATA_BTN_GUEST_HOVER 50
#define QL_DATA_BTN_GUEST_PRESSED 51
