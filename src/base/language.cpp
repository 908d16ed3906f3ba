#include "base/language.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

unsigned int lang_sys = 1033;
unsigned int language_nu = 0;

unsigned int lang_id_from_locale(const char* locale)
{
    if (!locale)
        return 1033;
    auto starts = [locale](const char* prefix) {
        return std::strncmp(locale, prefix, std::strlen(prefix)) == 0;
    };
    if (starts("zh_CN") || starts("zh_SG"))
        return 2052;
    if (starts("zh_TW") || starts("zh_HK"))
        return 1028;
    return 1033;
}

unsigned int system_language_id()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return lang_id_from_locale(value);
    }
    return 1033;
}

const char* tr(const tr3& text, unsigned lang)
{
    if (lang == 0)
        return text.zh;
    if (lang == 2)
        return text.tw;
    return text.en;
}

const char* tr(const tr3& text) { return tr(text, language_nu); }

const char* tr_sys(const tr3& text)
{
    if (lang_sys == 2052)
        return text.zh;
    if (lang_sys == 1028)
        return text.tw;
    return text.en;
}
