// Message catalog of the Unix console: one table of user-visible texts per language.
//
// Every table unixlauncher_msg_<locale> has the same shape:
//   - entry 0 is the locale code itself ("en", "pt_BR", "zh_TW", ...);
//   - entries 1 to kMessageCount (38) are the messages, in the same order and with the same
//     meaning in every language;
//   - a null pointer follows the last message.
// The catalog is indexed first by locale (msg_locale_table, English first as the fallback) and
// then by message number. Some messages are printf formats taking exactly one "%s"; no text holds
// any other '%'. Message 18 is the progress mark and is "." in every table.
//
// Texts are stored as UTF-8. Every character of a table also exists in the traditional codeset
// of its language (EUC-JP, EUC-KR, GB2312, BIG5, ISO-8859-x), so the output side can convert a
// text to the user's codeset without loss.

#ifndef QV_PLATFORM_UNIX_MESSAGETABLES_H
#define QV_PLATFORM_UNIX_MESSAGETABLES_H

// Number of messages in each table (entries 1..kMessageCount).
constexpr int kMessageCount = 38;

// Number of language tables in msg_locale_table.
constexpr int kLocaleCount = 22;

extern const char* const unixlauncher_msg_en[];
extern const char* const unixlauncher_msg_cs[];
extern const char* const unixlauncher_msg_da[];
extern const char* const unixlauncher_msg_de[];
extern const char* const unixlauncher_msg_el[];
extern const char* const unixlauncher_msg_es[];
extern const char* const unixlauncher_msg_fi[];
extern const char* const unixlauncher_msg_fr[];
extern const char* const unixlauncher_msg_hu[];
extern const char* const unixlauncher_msg_it[];
extern const char* const unixlauncher_msg_ja[];
extern const char* const unixlauncher_msg_ko[];
extern const char* const unixlauncher_msg_nl[];
extern const char* const unixlauncher_msg_no[];
extern const char* const unixlauncher_msg_pl[];
extern const char* const unixlauncher_msg_pt[];
extern const char* const unixlauncher_msg_pt_BR[];
extern const char* const unixlauncher_msg_ru[];
extern const char* const unixlauncher_msg_sv[];
extern const char* const unixlauncher_msg_tr[];
extern const char* const unixlauncher_msg_zh[];
extern const char* const unixlauncher_msg_zh_TW[];

// All tables, in the order en, cs, da, de, el, es, fi, fr, hu, it, ja, ko, nl, no, pl, pt, pt_BR,
// ru, sv, tr, zh, zh_TW. Index 0 (English) is the fallback language.
extern const char* const* const msg_locale_table[kLocaleCount];

#endif  // QV_PLATFORM_UNIX_MESSAGETABLES_H
