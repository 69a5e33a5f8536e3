#include "browser/script_engine.h"

#include <duktape.h>
#include <gumbo.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/com/activation.h"
#include "platform/text/ascii.h"
#include "platform/text/unicode.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

// Native functions leave through duk_error, a longjmp: they keep their C++ objects in inner
// scopes and carry error texts out in plain buffers, so no destructor is ever skipped.
using ErrorText = char[768];

// The text cut to the buffer, as snprintf cuts it.
void CopyError(ErrorText& error, const std::string& text) { std::snprintf(error, sizeof error, "%s", text.c_str()); }

constexpr const char* kDispatchKey = DUK_HIDDEN_SYMBOL("dispatch");
constexpr const char* kOwnerKey = DUK_HIDDEN_SYMBOL("owner");
constexpr const char* kDispIdKey = DUK_HIDDEN_SYMBOL("dispid");
constexpr const char* kNameKey = DUK_HIDDEN_SYMBOL("name");

IDispatch* GetDispatch(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_object(ctx, index)) return nullptr;
  duk_get_prop_string(ctx, index, kDispatchKey);
  void* p = duk_get_pointer(ctx, -1);
  duk_pop(ctx);
  return static_cast<IDispatch*>(p);
}

duk_ret_t ReleaseHeld(duk_context* ctx) {
  if (IDispatch* p = GetDispatch(ctx, 0)) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, kDispatchKey);
    p->Release();
  }
  return 0;
}

// A new object holding its own reference to p, given back when the engine collects it.
void PushHolder(duk_context* ctx, IDispatch* p) {
  duk_push_object(ctx);
  p->AddRef();
  duk_push_pointer(ctx, p);
  duk_put_prop_string(ctx, -2, kDispatchKey);
  duk_push_c_function(ctx, ReleaseHeld, 1);
  duk_set_finalizer(ctx, -2);
}

void PushUtf16(duk_context* ctx, BSTR text) {
  std::string utf8 = Utf16ToUtf8(BstrToU16(text));
  duk_push_lstring(ctx, utf8.data(), utf8.size());
}

void PushDocument(duk_context* ctx, IHTMLDocument2* document) {
  if (!document) {
    duk_push_null(ctx);
    return;
  }
  PushHolder(ctx, document);
  BStr url;
  if (SUCCEEDED(document->get_URL(url.GetAddressOf()))) {
    PushUtf16(ctx, url.Get());
    duk_put_prop_string(ctx, -2, "URL");
  }
}

void PushWindow(duk_context* ctx, IHTMLWindow2* window) {
  if (!window) {
    duk_push_null(ctx);
    return;
  }
  PushHolder(ctx, window);
  ComPtr<IHTMLDocument2> document;
  if (FAILED(window->get_document(document.GetAddressOf()))) document.Reset();
  PushDocument(ctx, document.Get());
  duk_put_prop_string(ctx, -2, "document");
}

void PushAutomationObject(duk_context* ctx, IDispatch* object);

// A JavaScript value as a method argument; false when it has no VARIANT form.
bool ToVariant(duk_context* ctx, duk_idx_t index, VARIANT* v) {
  VariantInit(v);
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_UNDEFINED:
      return true;
    case DUK_TYPE_NULL:
      v->vt = VT_NULL;
      return true;
    case DUK_TYPE_BOOLEAN:
      v->vt = VT_BOOL;
      v->boolVal = duk_get_boolean(ctx, index) ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, index);
      if (std::trunc(d) != d || d < -2147483648.0 || d > 2147483647.0) return false;
      v->vt = VT_I4;
      v->lVal = static_cast<LONG>(d);
      return true;
    }
    case DUK_TYPE_STRING: {
      duk_size_t length = 0;
      const char* s = duk_get_lstring(ctx, index, &length);
      v->bstrVal = SysAllocStringUtf8(std::string(s, length));
      v->vt = VT_BSTR;
      return v->bstrVal != nullptr;
    }
    case DUK_TYPE_OBJECT:
      if (IDispatch* p = GetDispatch(ctx, index)) {
        p->AddRef();
        v->vt = VT_DISPATCH;
        v->pdispVal = p;
        return true;
      }
      return false;
    default:
      return false;
  }
}

void PushFromVariant(duk_context* ctx, const VARIANT& v) {
  switch (v.vt) {
    case VT_I4:
      duk_push_int(ctx, v.lVal);
      break;
    case VT_BOOL:
      duk_push_boolean(ctx, v.boolVal != VARIANT_FALSE);
      break;
    case VT_BSTR:
      PushUtf16(ctx, v.bstrVal);
      break;
    case VT_DISPATCH:
      if (v.pdispVal) {
        PushAutomationObject(ctx, v.pdispVal);
      } else {
        duk_push_null(ctx);
      }
      break;
    case VT_NULL:
      duk_push_null(ctx);
      break;
    default:
      duk_push_undefined(ctx);
      break;
  }
}

// obj.Name(args...): IDispatch::Invoke with the DISPID the proxy looked up.
duk_ret_t CallMethod(duk_context* ctx) {
  ErrorText error = "";
  {
    duk_idx_t argc = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kOwnerKey);
    IDispatch* object = GetDispatch(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, kDispIdKey);
    DISPID id = duk_get_int(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, kNameKey);
    std::string name = duk_get_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
    duk_pop_2(ctx);
    if (!object) {
      CopyError(error, FormatResStringUtf8(IDS_TROVEX_SCRIPT_OBJECT_RELEASED, name.c_str()));
    } else {
      std::vector<VARIANT> args(static_cast<std::size_t>(argc));
      bool converted = true;
      // COM passes arguments last first.
      for (duk_idx_t i = 0; i < argc; ++i) {
        VARIANT& slot = args[static_cast<std::size_t>(argc - 1 - i)];
        if (!ToVariant(ctx, i, &slot) && converted) {
          converted = false;
          CopyError(error, FormatResStringUtf8(IDS_TROVEX_SCRIPT_BAD_ARGUMENT, name.c_str(), static_cast<int>(i) + 1));
        }
      }
      if (converted) {
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(argc), 0};
        Variant result;
        EXCEPINFO excep{};
        UINT argErr = 0;
        ComPtr<IDispatch> keep(object);  // the call may run a nested event loop
        HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                    result.Ptr(), &excep, &argErr);
        if (FAILED(hr)) {
          std::string description = excep.bstrDescription ? Utf16ToUtf8(BstrToU16(excep.bstrDescription)) : "";
          const auto code = static_cast<unsigned>(hr);
          CopyError(error, description.empty()
                               ? FormatResStringUtf8(IDS_TROVEX_SCRIPT_CALL_FAILED, name.c_str(), code)
                               : FormatResStringUtf8(IDS_TROVEX_SCRIPT_CALL_FAILED_WHY, name.c_str(), code,
                                                     description.c_str()));
        } else {
          PushFromVariant(ctx, result.get());
        }
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
      }
      for (VARIANT& v : args) VariantClear(&v);
    }
  }
  if (error[0]) return duk_error(ctx, DUK_ERR_ERROR, "%s", error);
  return 1;
}

// Proxy trap: every name the object knows (GetIDsOfNames) reads as a method; others are
// undefined.
duk_ret_t ProxyGet(duk_context* ctx) {
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0);
    return 1;
  }
  IDispatch* object = GetDispatch(ctx, 0);
  if (!object) return 0;
  DISPID id = DISPID_UNKNOWN;
  {
    std::u16string name = Utf8ToUtf16(duk_get_string(ctx, 1));
    OLECHAR* names[] = {name.data()};
    if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) return 0;
  }
  duk_push_c_function(ctx, CallMethod, DUK_VARARGS);
  duk_dup(ctx, 0);
  duk_put_prop_string(ctx, -2, kOwnerKey);
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, -2, kDispIdKey);
  duk_dup(ctx, 1);
  duk_put_prop_string(ctx, -2, kNameKey);
  return 1;
}

void PushAutomationObject(duk_context* ctx, IDispatch* object) {
  PushHolder(ctx, object);
  duk_push_object(ctx);
  duk_push_c_function(ctx, ProxyGet, 3);
  duk_put_prop_string(ctx, -2, "get");
  duk_push_proxy(ctx, 0);
}

// new ActiveXObject(progId): the class the ProgID names, created in-process.
duk_ret_t ActiveXObject(duk_context* ctx) {
  ErrorText error = "";
  IDispatch* object = nullptr;
  {
    const char* progId = duk_is_string(ctx, 0) ? duk_get_string(ctx, 0) : nullptr;
    if (!progId || !*progId) {
      CopyError(error, LoadResStringUtf8(IDS_TROVEX_SCRIPT_NEEDS_PROGID));
    } else {
      std::u16string wide = Utf8ToUtf16(progId);
      CLSID clsid{};
      HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
      if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object));
      if (FAILED(hr)) {
        std::string why = CoLastActivationError();
        const auto code = static_cast<unsigned>(hr);
        CopyError(error, why.empty() ? FormatResStringUtf8(IDS_TROVEX_SCRIPT_CANNOT_CREATE, progId, code)
                                     : FormatResStringUtf8(IDS_TROVEX_SCRIPT_CANNOT_CREATE_WHY, progId, code,
                                                           why.c_str()));
        object = nullptr;
      }
    }
  }
  if (!object) return duk_error(ctx, DUK_ERR_ERROR, "%s", error);
  PushAutomationObject(ctx, object);
  object->Release();
  return 1;
}

struct Globals {
  const ScriptContext* context;
};

duk_ret_t SetUpGlobals(duk_context* ctx, void* udata) {
  const ScriptContext& c = *static_cast<Globals*>(udata)->context;
  duk_push_global_object(ctx);
  duk_push_c_function(ctx, ActiveXObject, 1);
  duk_put_prop_string(ctx, -2, "ActiveXObject");
  PushDocument(ctx, c.pDocument);
  duk_put_prop_string(ctx, -2, "document");
  duk_push_object(ctx);
  PushWindow(ctx, c.pMenuWindow);
  duk_put_prop_string(ctx, -2, "menuArguments");
  duk_put_prop_string(ctx, -2, "external");
  duk_pop(ctx);
  return 0;
}

void Fatal(void*, const char* message) {
  // Only an engine that cannot go on (its memory exhausted outside any protected call) ends here.
  std::fprintf(stderr, "trovex-browser: script engine failure: %s\n", message ? message : "");
  std::abort();
}

// The line of the script the error came from: errors raised by native functions carry the
// native code's own place, so the script's line is taken from the stack trace.
int ScriptLine(duk_context* ctx, const std::string& name) {
  if (!duk_is_object(ctx, -1)) return 0;
  duk_get_prop_string(ctx, -1, "fileName");
  bool ours = duk_is_string(ctx, -1) && name == duk_get_string(ctx, -1);
  duk_pop(ctx);
  if (ours) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    int line = duk_get_int(ctx, -1);
    duk_pop(ctx);
    return line;
  }
  duk_get_prop_string(ctx, -1, "stack");
  std::string stack = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
  duk_pop(ctx);
  std::string::size_type at = stack.find("(" + name + ":");
  return at == std::string::npos ? 0 : std::atoi(stack.c_str() + at + name.size() + 2);
}

// The error on top of the stack as "message (name line N)".
std::string DescribeError(duk_context* ctx, const std::string& name) {
  int line = ScriptLine(ctx, name);
  std::string text = duk_safe_to_string(ctx, -1);
  if (line > 0) text += FormatResStringUtf8(IDS_TROVEX_SCRIPT_ERROR_AT_LINE, name.c_str(), line);
  return text;
}

class Engine {
 public:
  Engine() : ctx_(duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal)) {}
  ~Engine() {
    if (ctx_) duk_destroy_heap(ctx_);  // runs the finalizers: every reference is given back
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool Start(const ScriptContext& context, std::string* error) {
    if (!ctx_) {
      *error = LoadResStringUtf8(IDS_TROVEX_SCRIPT_ENGINE_FAILED);
      return false;
    }
    Globals g{&context};
    if (duk_safe_call(ctx_, SetUpGlobals, &g, 0, 1) != DUK_EXEC_SUCCESS) {
      *error = DescribeError(ctx_, "");
      duk_pop(ctx_);
      return false;
    }
    duk_pop(ctx_);
    return true;
  }

  bool Run(const std::string& source, const std::string& name, std::string* error) {
    duk_push_lstring(ctx_, source.data(), source.size());
    duk_push_lstring(ctx_, name.data(), name.size());
    if (duk_pcompile(ctx_, 0) != 0 || duk_pcall(ctx_, 0) != DUK_EXEC_SUCCESS) {
      *error = DescribeError(ctx_, name);
      duk_pop(ctx_);
      return false;
    }
    duk_pop(ctx_);
    return true;
  }

 private:
  duk_context* ctx_;
};

bool IsJavaScriptType(const char* type) {
  if (!type) return true;
  std::string t;
  for (const char* p = type; *p; ++p)
    if (*p != ' ' && *p != '\t') t += AsciiLower(*p);
  return t.empty() || t == "text/javascript" || t == "application/javascript" || t == "javascript" ||
         t == "jscript" || t == "text/jscript" || t == "text/ecmascript" || t == "application/ecmascript";
}

void CollectScripts(const GumboNode* node, std::vector<std::string>* out) {
  if (node->type != GUMBO_NODE_ELEMENT) return;
  const GumboElement& e = node->v.element;
  if (e.tag == GUMBO_TAG_SCRIPT) {
    const GumboAttribute* src = gumbo_get_attribute(&e.attributes, "src");
    const GumboAttribute* type = gumbo_get_attribute(&e.attributes, "type");
    const GumboAttribute* language = gumbo_get_attribute(&e.attributes, "language");
    if (!src && IsJavaScriptType(type ? type->value : nullptr) &&
        (!language || IsJavaScriptType(language->value))) {
      std::string text;
      for (unsigned i = 0; i < e.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
            child->type == GUMBO_NODE_WHITESPACE)
          text += child->v.text.text;
      }
      out->push_back(std::move(text));
    }
    return;
  }
  for (unsigned i = 0; i < e.children.length; ++i)
    CollectScripts(static_cast<const GumboNode*>(e.children.data[i]), out);
}

}  // namespace

std::vector<std::string> ExtractScripts(std::string_view html) {
  std::vector<std::string> scripts;
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
  if (!output) return scripts;
  CollectScripts(output->root, &scripts);
  gumbo_destroy_output(&options, output);
  return scripts;
}

bool RunScript(const std::string& source, const std::string& name, const ScriptContext& context,
               std::string* error) {
  std::string local;
  std::string& err = error ? *error : local;
  Engine engine;
  return engine.Start(context, &err) && engine.Run(source, name, &err);
}

bool RunScriptPage(const std::string& path, const ScriptContext& context, std::string* error) {
  std::string local;
  std::string& err = error ? *error : local;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    err = FormatResStringUtf8(IDS_TROVEX_SCRIPT_PAGE_CANNOT_OPEN, path.c_str());
    return false;
  }
  std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    err = FormatResStringUtf8(IDS_TROVEX_SCRIPT_PAGE_CANNOT_READ, path.c_str());
    return false;
  }
  std::vector<std::string> scripts = ExtractScripts(html);
  if (scripts.empty()) {
    err = FormatResStringUtf8(IDS_TROVEX_SCRIPT_PAGE_NO_SCRIPT, path.c_str());
    return false;
  }
  Engine engine;
  if (!engine.Start(context, &err)) return false;
  std::string name = path.substr(path.rfind('/') + 1);
  for (const std::string& script : scripts)
    if (!engine.Run(script, name, &err)) return false;
  return true;
}

}  // namespace trovex::browser
