// Bounded text: every copy, append or formatted print into a fixed buffer of the
// system goes through these. They always terminate the buffer, cut what does not
// fit, and tell the caller whether they had to cut (1 whole, 0 truncated).
#pragma once
#include <stddef.h>
#include <stdarg.h>

// Longest text that "contains" still looks into; longer texts contain nothing.
#define CONTAINS_LIMIT 772

int CopyText(char *dst, size_t cap, const char *src);
// Copies at most n characters of src (fewer when src is shorter).
int CopyTextN(char *dst, size_t cap, const char *src, size_t n);
int AppendText(char *dst, size_t cap, const char *src);
int FormatText(char *dst, size_t cap, const char *fmt, ...) __attribute__((format(gnu_printf, 3, 4)));
int FormatTextV(char *dst, size_t cap, const char *fmt, va_list ap);
int AppendFormat(char *dst, size_t cap, const char *fmt, ...) __attribute__((format(gnu_printf, 3, 4)));

// Copies pattern with its "%s" marks replaced by args in order (marks beyond count
// become empty); no other "%" is looked at, so a translated text can never read
// arguments it was not given. 1 when the whole result fitted.
int SubstituteText(char *out, size_t cap, const char *pattern, const char *const *args, int count);

// 1 when part occurs in text without regard to case (both upper-cased with the
// system's rules); 0 when it does not, and always 0 for a text longer than 772.
int StrContains(const char *text, const char *part);
// 0 when the texts are equal without regard to case; an empty text counts as one blank.
int StrEqualNoCase(const char *a, const char *b);
// Upper-cases in place with the system's rules (CharUpperBuffA); returns the length.
size_t UpperText(char *text);
// Leading decimal digits as a number (an optional sign first); no digits give 0.
int TextToInt(const char *text);
// A fixed-size array's capacity, for the calls above.
#define CAP(buf) (sizeof(buf))
