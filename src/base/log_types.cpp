#include "base/log_types.h"

#include "base/language.h"

#include "base/record.h"

namespace {

struct type_labels {
    unsigned code;
    tr3 tree;
    tr3 list;  // nullptr: not listed
};

constexpr type_labels TYPES[] = {
    {LOG_TYPE_WEB, {"上网记录", "web log", "上網記錄"}, {"上网记录", "internet", "上網記錄"}},
    {LOG_TYPE_CONFIG,
     {"设备配置类", "config", "設備配置類"},
     {"设备配置", "router config", "設備配置"}},
    {LOG_TYPE_ATTACK, {"攻击报警", "attack", "攻擊報警"}, {"攻击报警", "attack", "攻擊報警"}},
    {LOG_TYPE_OTHERS, {"其它日志", "others", "其它日誌"}, {"其它日志", "others", "其它日誌"}},
    {LOG_TYPE_EMAIL, {"邮件", "email", "郵件"}, {nullptr, nullptr, nullptr}},
};

constexpr tr3 UNDEFINED_LIST {"未知", "nodefine", "未知"};

const type_labels* find_type(unsigned code)
{
    for (const auto& t : TYPES)
        if (t.code == code)
            return &t;
    return nullptr;
}

unsigned clamp_lang(unsigned lang) { return lang > 2 ? 0 : lang; }

}  // namespace

const char* tree_type_label_known(unsigned code, unsigned lang)
{
    const type_labels* t = find_type(code);
    return t ? tr(t->tree, clamp_lang(lang)) : nullptr;
}

std::string tree_type_label(unsigned code, unsigned lang)
{
    if (const char* known = tree_type_label_known(code, lang))
        return known;
    switch (clamp_lang(lang)) {
    case 1:
        return "ok_en";
    case 2:
        return "ok_fanti";
    default:
        return std::to_string(code);
    }
}

const char* list_type_label(unsigned code, unsigned lang)
{
    const type_labels* t = find_type(code);
    if (t && t->list.zh)
        return tr(t->list, clamp_lang(lang));
    return tr(UNDEFINED_LIST, clamp_lang(lang));
}
