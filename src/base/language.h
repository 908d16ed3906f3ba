// The two language selectors: the system's language id and the interface
// language index.
#pragma once

// System default language id: 2052 simplified Chinese, 1028 traditional
// Chinese, anything else English. Chooses the texts shown before the interface
// language is applied.
extern unsigned int lang_sys;

// Interface language: 0 simplified Chinese, 1 English, 2 traditional Chinese.
// Written only by the language switch.
extern unsigned int language_nu;

// Language id of a locale name such as "zh_CN.UTF-8": zh_CN and zh_SG give
// 2052, zh_TW and zh_HK 1028, anything else 1033.
unsigned int lang_id_from_locale(const char* locale);

// Language id of this process's locale (LC_ALL, then LC_MESSAGES, then LANG).
unsigned int system_language_id();

// One visible text in the three interface languages, in the order of
// language_nu: simplified Chinese, English, traditional Chinese.
struct tr3 {
    const char* zh;
    const char* en;
    const char* tw;
};

// The text in the interface language (language_nu).
const char* tr(const tr3& text);
// The text in the language of that index (0 simplified Chinese, 1 English,
// 2 traditional Chinese; anything else English).
const char* tr(const tr3& text, unsigned lang);

// The text in the system's language (lang_sys), for what is shown before the
// interface language is applied.
const char* tr_sys(const tr3& text);
