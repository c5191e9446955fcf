/* gettext without translations: every lookup returns its own text. */
#ifndef MARROWGATE_LIBINTL_H
#define MARROWGATE_LIBINTL_H

#include <locale.h>

/* The C runtime of Windows has no message category; GNU gettext gives it
   this number there. */
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif

/* The results are format strings of the same kind as the texts given, so
   that format checks see through the lookups. */
#define MARROWGATE_FORMAT_ARG(n) __attribute__((__format_arg__(n)))

#ifdef __cplusplus
extern "C" {
#endif

char *gettext(const char *msgid) MARROWGATE_FORMAT_ARG(1);
char *dgettext(const char *domain, const char *msgid) MARROWGATE_FORMAT_ARG(2);
char *dcgettext(const char *domain, const char *msgid, int category) MARROWGATE_FORMAT_ARG(2);
char *ngettext(const char *msgid, const char *plural, unsigned long n) MARROWGATE_FORMAT_ARG(1)
    MARROWGATE_FORMAT_ARG(2);
char *dngettext(const char *domain, const char *msgid, const char *plural, unsigned long n)
    MARROWGATE_FORMAT_ARG(2) MARROWGATE_FORMAT_ARG(3);
char *dcngettext(const char *domain, const char *msgid, const char *plural, unsigned long n,
                 int category) MARROWGATE_FORMAT_ARG(2) MARROWGATE_FORMAT_ARG(3);
char *textdomain(const char *domain);
char *bindtextdomain(const char *domain, const char *dirname);
char *bind_textdomain_codeset(const char *domain, const char *codeset);

#ifdef __cplusplus
}
#endif

#endif
