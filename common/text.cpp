#include "common/text.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

int CopyTextN(char *dst, size_t cap, const char *src, size_t n)
{
    if (!dst || cap == 0)
        return 0;
    if (!src)
        src = "";
    size_t len = strnlen(src, n);
    int whole = 1;
    if (len >= cap) {
        len = cap - 1;
        whole = 0;
    }
    memmove(dst, src, len);
    dst[len] = '\0';
    // Cutting at n on purpose is not a truncation; cutting for the buffer is.
    return whole;
}

int CopyText(char *dst, size_t cap, const char *src)
{
    return CopyTextN(dst, cap, src, (size_t)-1);
}

int AppendText(char *dst, size_t cap, const char *src)
{
    if (!dst || cap == 0)
        return 0;
    size_t used = strnlen(dst, cap);
    if (used >= cap) {          // an unterminated buffer is repaired, not overrun
        dst[cap - 1] = '\0';
        return 0;
    }
    return CopyText(dst + used, cap - used, src);
}

int FormatTextV(char *dst, size_t cap, const char *fmt, va_list ap)
{
    if (!dst || cap == 0)
        return 0;
    int n = vsnprintf(dst, cap, fmt ? fmt : "", ap);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    dst[cap - 1] = '\0';
    return (size_t)n < cap;
}

int FormatText(char *dst, size_t cap, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int r = FormatTextV(dst, cap, fmt, ap);
    va_end(ap);
    return r;
}

int AppendFormat(char *dst, size_t cap, const char *fmt, ...)
{
    if (!dst || cap == 0)
        return 0;
    size_t used = strnlen(dst, cap);
    if (used >= cap) {
        dst[cap - 1] = '\0';
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    int r = FormatTextV(dst + used, cap - used, fmt, ap);
    va_end(ap);
    return r;
}

size_t UpperText(char *text)
{
    if (!text)
        return 0;
    size_t len = strlen(text);
    if (len)
        CharUpperBuffA(text, (DWORD)len);
    return len;
}

int StrContains(const char *text, const char *part)
{
    if (!text || !part)
        return 0;
    size_t tlen = strnlen(text, CONTAINS_LIMIT + 1);
    size_t plen = strnlen(part, CONTAINS_LIMIT + 1);
    if (tlen > CONTAINS_LIMIT || plen > tlen)
        return 0;
    char t[CONTAINS_LIMIT + 1], p[CONTAINS_LIMIT + 1];
    memcpy(t, text, tlen);
    t[tlen] = '\0';
    memcpy(p, part, plen);
    p[plen] = '\0';
    UpperText(t);
    UpperText(p);
    return strstr(t, p) != NULL;
}

// Each byte in capitals as the system's code page has it, asked of the system
// once per byte value instead of once per compared character.
static char UpperChar(char c)
{
    static char Upper[256];
    static int filled;
    if (!filled) {
        for (int i = 0; i < 256; i++) {
            char one[2] = {(char)i, '\0'};
            CharUpperBuffA(one, 1);
            Upper[i] = one[0];
        }
        filled = 1;
    }
    return Upper[(unsigned char)c];
}

int StrEqualNoCase(const char *a, const char *b)
{
    if (!a || !*a)
        a = " ";
    if (!b || !*b)
        b = " ";
    for (;; a++, b++) {
        char ca = UpperChar(*a), cb = UpperChar(*b);
        if (ca != cb)
            return (unsigned char)ca < (unsigned char)cb ? -1 : 1;
        if (ca == '\0')
            return 0;
    }
}

int TextToInt(const char *text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t')
        text++;
    int sign = 1;
    if (*text == '-' || *text == '+') {
        if (*text == '-')
            sign = -1;
        text++;
    }
    long long v = 0;
    while (*text >= '0' && *text <= '9') {
        v = v * 10 + (*text - '0');
        if (v > 2147483647LL)
            v = 2147483648LL;   // saturate like the C library's conversion
        text++;
    }
    v *= sign;
    if (v > 2147483647LL)
        v = 2147483647LL;
    return (int)v;
}

int SubstituteText(char *out, size_t cap, const char *pattern, const char *const *args, int count)
{
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    int whole = 1, used = 0;
    const char *rest = pattern ? pattern : "";
    for (const char *mark; (mark = strstr(rest, "%s")) != NULL; rest = mark + 2) {
        size_t filled = strlen(out);
        whole &= CopyTextN(out + filled, cap - filled, rest, (size_t)(mark - rest));
        whole &= AppendText(out, cap, used < count && args[used] ? args[used] : "");
        used++;
    }
    whole &= AppendText(out, cap, rest);
    return whole;
}
