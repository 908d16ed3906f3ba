#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "email/python_interface.h"

#include "base/utf8_cut.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include <unistd.h>

namespace {

// One owned reference, released when it goes out of scope.
class py_ref {
public:
    py_ref() = default;
    explicit py_ref(PyObject* p) : p_(p) { }
    py_ref(const py_ref&) = delete;
    py_ref& operator=(const py_ref&) = delete;
    py_ref(py_ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) { }
    py_ref& operator=(py_ref&& other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~py_ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// The modules and their functions live as long as the process: the
// interpreter is never shut down, so these references are kept for good.
PyObject* pModule_email = nullptr;
PyObject* pModule_js = nullptr;

PyObject* pFunc_add = nullptr;
PyObject* pFunc_GetSubject = nullptr;
PyObject* pFunc_GetFrom = nullptr;
PyObject* pFunc_GetContent = nullptr;
PyObject* pFunc_GetAttach = nullptr;
PyObject* pFunc_removeFileInFirstDir = nullptr;
PyObject* pFunc_create_excel = nullptr;
PyObject* pFunc_excel_write = nullptr;
PyObject* pFunc_excel_open_speed = nullptr;
PyObject* pFunc_excel_write_speed = nullptr;
PyObject* pFunc_excel_over_speed = nullptr;

PyObject* pFunc_init_js_chinese = nullptr;
PyObject* pFunc_init_js_en = nullptr;
PyObject* pFunc_init_js_fanti = nullptr;
PyObject* pFunc_js_get_chinese = nullptr;
PyObject* pFunc_js_get_en = nullptr;
PyObject* pFunc_js_get_fanti = nullptr;
PyObject* pFunc_js_get_b_exist_chinese = nullptr;
// get_js_values: the three texts in one call; optional (older scripts lack it).
PyObject* pFunc_js_get_values = nullptr;

constexpr const char* js_not_found = "未找到相关js";
constexpr const char* exist_not_found = "1";

// A start-up failure: the message on standard output, then one character from
// the operator. Without a terminal nobody can answer, so nothing is read.
void startup_message(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
    if (isatty(STDIN_FILENO)) {
        char c;
        ssize_t n = read(STDIN_FILENO, &c, 1);
        (void)n;
    }
}

// Shows the pending Python error on standard error and clears it. The error is
// displayed rather than "printed" so that a script raising SystemExit cannot
// end the program.
void report_error(const char* what)
{
    std::fprintf(stderr, "script %s failed:\n", what);
    std::fflush(stderr);
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    if (type) {
        PyErr_NormalizeException(&type, &value, &trace);
        if (value && trace)
            PyException_SetTraceback(value, trace);
        PyErr_Display(type, value, trace);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(trace);
    PyErr_Clear();
}

void report_status(const char* what, const PyStatus& status)
{
    std::fprintf(stderr, "%s: %s%s%s\n", what, status.func ? status.func : "",
                 status.func ? ": " : "", status.err_msg ? status.err_msg : "");
}

// Starts the interpreter once. UTF-8 mode makes file names round-trip byte for
// byte whatever the locale; the program's locale, signal handlers and C
// streams are left alone.
bool start_interpreter()
{
    static bool tried = false;
    if (tried)
        return Py_IsInitialized() != 0;
    tried = true;

    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    preconfig.configure_locale = 0;
    preconfig.utf8_mode = 1;
    PyStatus status = Py_PreInitialize(&preconfig);
    if (PyStatus_Exception(status)) {
        report_status("python pre-initialisation", status);
        return false;
    }

    PyConfig config;
    PyConfig_InitPythonConfig(&config);
    config.parse_argv = 0;
    config.install_signal_handlers = 0;
    config.configure_c_stdio = 0;
    // Named by its own path, the program is not looked for on PATH, where a
    // python3 of another installation would lend its library directories.
    char exe[4096];
    ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len > 0) {
        exe[len] = '\0';
        PyConfig_SetBytesString(&config, &config.program_name, exe);
    }
    status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    if (PyStatus_Exception(status)) {
        report_status("python initialisation", status);
        return false;
    }
    if (!Py_IsInitialized())
        return false;

    // The script modules live in the working directory.
    PyRun_SimpleString("import sys");
    char cwd[4096];
    PyObject* path = PySys_GetObject("path");  // borrowed
    if (getcwd(cwd, sizeof cwd) && path && PyList_Check(path)) {
        py_ref dir(PyUnicode_DecodeFSDefault(cwd));
        if (!dir || PyList_Insert(path, 0, dir.get()) != 0)
            report_error("sys.path setup");
    }
    return true;
}

struct function_slot {
    const char* name;
    PyObject** slot;
    const char* message;  // shown when this name is missing
};

// Looks the functions up in order; the first one missing ends the look-up.
int look_up(PyObject* module, std::initializer_list<function_slot> slots)
{
    PyObject* dict = PyModule_GetDict(module);  // borrowed
    if (!dict)
        return -1;
    for (const function_slot& s : slots) {
        PyObject* f = PyDict_GetItemString(dict, s.name);  // borrowed
        if (!f || !PyCallable_Check(f)) {
            startup_message(s.message);
            return -1;
        }
        Py_INCREF(f);
        *s.slot = f;
    }
    return 0;
}

PyObject* import_module(const char* name)
{
    PyObject* module = PyImport_ImportModule(name);
    if (!module)
        report_error((std::string("import ") + name).c_str());
    return module;
}

// Calls func with each text as a str argument. Null without a function (it
// is then not called) or after a reported error.
py_ref call(PyObject* func, const char* name, std::initializer_list<const char*> texts)
{
    if (!func)
        return {};
    py_ref args(PyTuple_New(static_cast<Py_ssize_t>(texts.size())));
    if (!args) {
        report_error(name);
        return {};
    }
    Py_ssize_t i = 0;
    for (const char* text : texts) {
        if (!text)
            text = "";
        PyObject* s = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)),
                                           "surrogateescape");
        if (!s) {
            report_error(name);
            return {};
        }
        PyTuple_SET_ITEM(args.get(), i++, s);  // steals s
    }
    py_ref result(PyObject_CallObject(func, args.get()));
    if (!result)
        report_error(name);
    return result;
}

// The text of a call's result: str as UTF-8, bytes as they are. Nothing for a
// failed call or a result of another type.
std::optional<std::string> call_text(PyObject* func, const char* name,
                                     std::initializer_list<const char*> texts)
{
    py_ref result = call(func, name, texts);
    if (!result)
        return std::nullopt;
    PyObject* r = result.get();
    if (PyBytes_Check(r))
        return std::string(PyBytes_AS_STRING(r), static_cast<std::size_t>(PyBytes_GET_SIZE(r)));
    if (PyUnicode_Check(r)) {
        py_ref bytes(PyUnicode_AsEncodedString(r, "utf-8", "surrogateescape"));
        if (!bytes) {
            report_error(name);
            return std::nullopt;
        }
        return std::string(PyBytes_AS_STRING(bytes.get()),
                           static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    }
    std::fprintf(stderr, "script %s returned %s, not str or bytes\n", name, Py_TYPE(r)->tp_name);
    return std::nullopt;
}

int call_only(PyObject* func, const char* name, std::initializer_list<const char*> texts)
{
    return call(func, name, texts) ? 0 : -1;
}

int get_header(PyObject* func, const char* name, const char* pname, char* pOut)
{
    std::optional<std::string> text = call_text(func, name, {pname, "c.eml"});
    if (pOut)
        utf8_copy(pOut, py_header_size, text ? *text : std::string());
    return text ? 0 : -1;
}

int get_js(PyObject* func, const char* name, const char* pContent, char* pOut)
{
    std::optional<std::string> text = call_text(func, name, {pContent});
    if (pOut) {
        utf8_copy(pOut, py_js_text_max + 1, text ? *text : std::string(js_not_found));
        pOut[py_js_text_max] = '\0';
        pOut[py_js_text_max + 1] = '\0';
    }
    return text ? 0 : -1;
}

}  // namespace

int init_python_1()
{
    if (!start_interpreter())
        return -1;
    PyObject* module = import_module("my_email");
    if (!module) {
        startup_message("can't find pytest.py");
        return -1;
    }
    pModule_email = module;
    return look_up(
        module,
        {
            {"add", &pFunc_add, "can't find function [add]"},
            {"GetEmail_subject", &pFunc_GetSubject, "can't find function [0]"},
            {"GetEmail_from", &pFunc_GetFrom, "can't find function [1]"},
            {"GetEmail_content", &pFunc_GetContent, "can't find function [2]"},
            {"GetEmail_attach", &pFunc_GetAttach, "can't find function [2]"},
            {"removeFileInFirstDir", &pFunc_removeFileInFirstDir, "can't find function [2]"},
            {"create_excel", &pFunc_create_excel, "can't find function [2]"},
            {"excel_write", &pFunc_excel_write, "can't find function [2]"},
            {"excel_open_speed", &pFunc_excel_open_speed, "can't find function [2]"},
            {"excel_write_speed", &pFunc_excel_write_speed, "can't find function [2]"},
            {"excel_over_speed", &pFunc_excel_over_speed, "can't find function [2]"},
        });
}

int init_python_2()
{
    if (!start_interpreter())
        return -1;
    PyObject* module = import_module("js_inter");
    if (!module) {
        startup_message("can't find js_inter.py zx");
        return -1;
    }
    pModule_js = module;
    constexpr const char* missing = "can't find function [2]";
    int rc = look_up(module,
                     {
                         {"init_js_chinese", &pFunc_init_js_chinese, missing},
                         {"init_js_en", &pFunc_init_js_en, missing},
                         {"init_js_fanti", &pFunc_init_js_fanti, missing},
                         {"get_js_value_chinese", &pFunc_js_get_chinese, missing},
                         {"get_js_value_en", &pFunc_js_get_en, missing},
                         {"get_js_value_fanti", &pFunc_js_get_fanti, missing},
                         {"get_js_b_exist_chinese", &pFunc_js_get_b_exist_chinese, missing},
                     });
    if (rc != 0)
        return rc;
    if (PyObject* f = PyObject_GetAttrString(module, "get_js_values"); f && PyCallable_Check(f))
        pFunc_js_get_values = f;
    else
        Py_XDECREF(f);
    PyErr_Clear();
    py_init_js_chinese();
    py_init_js_en();
    py_init_js_fanti();
    return 0;
}

int py_get_subject(const char* pname, char* pOut)
{
    return get_header(pFunc_GetSubject, "GetEmail_subject", pname, pOut);
}

int py_get_sender(const char* pname, char* pOut)
{
    return get_header(pFunc_GetFrom, "GetEmail_from", pname, pOut);
}

int py_del_email_all(const char* pname)
{
    return call_only(pFunc_removeFileInFirstDir, "removeFileInFirstDir", {pname});
}

int py_init_js_chinese() { return call_only(pFunc_init_js_chinese, "init_js_chinese", {"ok"}); }

int py_init_js_en() { return call_only(pFunc_init_js_en, "init_js_en", {"ok"}); }

int py_init_js_fanti() { return call_only(pFunc_init_js_fanti, "init_js_fanti", {"ok"}); }

int py_js_get_chinese(const char* pContent, char* pOut)
{
    return get_js(pFunc_js_get_chinese, "get_js_value_chinese", pContent, pOut);
}

int py_js_get_en(const char* pContent, char* pOut)
{
    return get_js(pFunc_js_get_en, "get_js_value_en", pContent, pOut);
}

int py_js_get_fanti(const char* pContent, char* pOut)
{
    return get_js(pFunc_js_get_fanti, "get_js_value_fanti", pContent, pOut);
}

bool py_js_get_all(const char* pContent, std::string& chinese, std::string& en, std::string& fanti)
{
    if (pFunc_js_get_values) {
        if (std::optional<std::string> all =
                call_text(pFunc_js_get_values, "get_js_values", {pContent})) {
            const std::size_t a = all->find('\0');
            const std::size_t b = a == std::string::npos ? a : all->find('\0', a + 1);
            if (b != std::string::npos && all->find('\0', b + 1) == std::string::npos) {
                const std::string_view v(*all);
                chinese = utf8_cut(v.substr(0, a), py_js_text_max);
                en = utf8_cut(v.substr(a + 1, b - a - 1), py_js_text_max);
                fanti = utf8_cut(v.substr(b + 1), py_js_text_max);
                return true;
            }
        }
    }
    char buf[py_js_size] = {};
    const int rc = py_js_get_chinese(pContent, buf);
    chinese = buf;
    py_js_get_en(pContent, buf);
    en = buf;
    py_js_get_fanti(pContent, buf);
    fanti = buf;
    return rc == 0;
}

int py_js_get_b_exist_chinese(const char* pContent, char* pOut)
{
    std::optional<std::string> text =
        call_text(pFunc_js_get_b_exist_chinese, "get_js_b_exist_chinese", {pContent});
    if (pOut)
        utf8_copy(pOut, py_exist_size, text ? *text : std::string(exist_not_found));
    return text ? 0 : -1;
}
