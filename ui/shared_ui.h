// Fonts and bitmaps that the main window creates once and every alert uses.
#pragma once
#include <windows.h>

// All "MS Shell Dlg", ANSI_CHARSET, FF_SWISS; height in logical units and weight.
extern HFONT ghFont14;                  // 14 normal
extern HFONT ghFont14Underline;         // 14 normal underlined: owner-drawn text buttons
extern HFONT ghFont18SemiboldUnderline; // 18 semibold underlined
extern HFONT ghFont18Medium;            // 18 medium: alert headings
extern HFONT ghFont12Semibold;          // 12 semibold: long paths (over 80 characters)
extern HFONT ghFont14Semibold;          // 14 semibold: paths, and the names of notices
extern HFONT ghFont10Semibold;          // 10 semibold
extern HFONT ghFont12Medium;            // 12 medium
extern HFONT ghFont10;                  // 10 normal
extern HFONT ghFont18MediumUnderline;   // 18 medium underlined, outline precision: product names
extern HBITMAP ghBitmap133, ghBitmap134, ghBitmap135;

// The names alerts use for them.
#define ALERT_BUTTON_FONT ghFont14Underline
#define ALERT_NAME_FONT ghFont18MediumUnderline
#define ALERT_HEADING_FONT ghFont18Medium

void CreateSharedUi(void);
void FreeSharedUi(void);
