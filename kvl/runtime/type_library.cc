#include "kvl/runtime/type_library.h"

#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using Json = nlohmann::ordered_json;

// Marks a JSON document as one of ours, so that other JSON is refused with
// a clear reason instead of yielding an empty library.
constexpr char kFormatName[] = "KVLCommon type library";
constexpr int kFormatVersion = 1;

[[noreturn]] void CannotLoad(std::string_view origin, std::string_view why) {
  Raise(kTYPE_E_CANTLOADLIBRARY, {},
        "Cannot load the type library '" + std::string(origin) +
            "': " + std::string(why));
}

// The named type a parameter or result of a member table refers to: an
// interface, class or enumeration, or a named interface such as
// IEnumVariant. "Object" alone names no type.
std::string NamedType(std::string name) {
  return name == "Object" ? std::string() : name;
}

TypeDesc ParamType(const ParamInfo& p) {
  TypeDesc t;
  t.vt = static_cast<int32_t>(p.type);
  t.ref = NamedType(p.TypeName());
  t.indirection = p.by_ref ? 1 : 0;
  return t;
}

TypeDesc ResultType(const MemberInfo& m) {
  TypeDesc t;
  if (m.result == VarType::kEmpty) {
    t.vt = kVtVoid;
    return t;
  }
  t.vt = static_cast<int32_t>(m.result);
  t.ref = NamedType(m.ResultTypeName());
  return t;
}

// ---- JSON ------------------------------------------------------------------

Json TypeToJson(const TypeDesc& t) {
  Json j = {{"vt", t.vt}};
  if (!t.ref.empty()) j["ref"] = t.ref;
  if (t.indirection != 0) j["indirection"] = t.indirection;
  return j;
}

// A default value as its kind and its text, which ChangeType reads back.
Json DefaultToJson(const Variant& v) {
  Json j = {{"vt", static_cast<int32_t>(v.type())}};
  if (!v.is_empty() && !v.is_object() && !v.is_null()) j["value"] = ToText(v);
  return j;
}

Json MemberToJson(const TypeLibMember& m) {
  Json j = {
      {"name", m.name}, {"invokeKind", m.invoke_kind}, {"dispId", m.dispid}};
  if (m.hidden) j["hidden"] = true;
  j["returns"] = TypeToJson(m.result);
  Json params = Json::array();
  for (const TypeLibParam& p : m.params) {
    Json jp = {{"name", p.name}, {"type", TypeToJson(p.type)}};
    if (p.optional) jp["optional"] = true;
    if (p.param_array) jp["paramArray"] = true;
    if (p.has_default) jp["default"] = DefaultToJson(p.default_value);
    params.push_back(std::move(jp));
  }
  j["params"] = std::move(params);
  return j;
}

// Reading: every accessor raises a json exception on a missing key or a
// value of the wrong kind; FromJson turns those into the library's error.
Guid GuidFrom(const Json& j, std::string_view what) {
  Guid g;
  const std::string text = j.at("guid").get<std::string>();
  if (!Guid::Parse(text, &g))
    throw std::invalid_argument(std::string(what) + " has a malformed guid '" +
                                text + "'");
  return g;
}

template <class T>
T Optional(const Json& j, const char* key, T fallback) {
  auto it = j.find(key);
  return it == j.end() ? fallback : it->get<T>();
}

TypeDesc TypeFrom(const Json& j) {
  TypeDesc t;
  t.vt = j.at("vt").get<int32_t>();
  t.ref = Optional<std::string>(j, "ref", {});
  t.indirection = Optional<int32_t>(j, "indirection", 0);
  return t;
}

Variant DefaultFrom(const Json& j) {
  const auto vt = static_cast<VarType>(j.at("vt").get<uint16_t>());
  auto value = j.find("value");
  if (value == j.end()) {
    if (vt == VarType::kObject) return Variant::Nothing();
    if (vt == VarType::kNull) return Variant::Null();
    return Variant();
  }
  return ChangeType(Variant(value->get<std::string>()), vt);
}

TypeLibMember MemberFrom(const Json& j) {
  TypeLibMember m;
  m.name = j.at("name").get<std::string>();
  m.invoke_kind = j.at("invokeKind").get<int32_t>();
  m.dispid = Optional<int32_t>(j, "dispId", 0);
  m.hidden = Optional<bool>(j, "hidden", false);
  m.result = TypeFrom(j.at("returns"));
  for (const Json& jp : j.at("params")) {
    TypeLibParam p;
    p.name = jp.at("name").get<std::string>();
    p.type = TypeFrom(jp.at("type"));
    p.optional = Optional<bool>(jp, "optional", false);
    p.param_array = Optional<bool>(jp, "paramArray", false);
    if (auto d = jp.find("default"); d != jp.end()) {
      p.has_default = true;
      p.default_value = DefaultFrom(*d);
    }
    m.params.push_back(std::move(p));
  }
  return m;
}

// ---- component libraries ---------------------------------------------------

bool IsSharedObject(const std::string& head) {
  return head.size() >= 4 && std::memcmp(head.data(),
                                         "\x7f"
                                         "ELF",
                                         4) == 0;
}

// The type-library text a component library exports. The library stays
// loaded: its text, and any object made from it, must outlive this call.
std::string ExportedText(const std::string& path) {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    CannotLoad(path, why ? why : "the shared library does not load");
  }
  auto entry = reinterpret_cast<TypeLibraryEntryPoint>(
      dlsym(handle, kTypeLibraryEntryPoint));
  if (!entry)
    CannotLoad(path, std::string("the shared library does not export ") +
                         kTypeLibraryEntryPoint);
  const char* text = nullptr;
  if (entry(&text) != kS_OK || !text)
    CannotLoad(path, "the shared library gave no type library");
  return text;
}

}  // namespace

const TypeLibInterface* TypeLibrary::FindInterface(
    std::string_view wanted) const {
  for (const TypeLibInterface& i : interfaces)
    if (EqualsNoCase(i.name, wanted)) return &i;
  return nullptr;
}

std::string TypeLibrary::ToJson() const {
  Json j = {{"format", kFormatName}, {"formatVersion", kFormatVersion},
            {"name", name},          {"guid", guid.ToString()},
            {"version", version},    {"lcid", lcid}};
  Json jclasses = Json::array();
  for (const TypeLibClass& c : classes) {
    Json impl = Json::array();
    for (const TypeLibImplemented& i : c.interfaces) {
      Json ji = {{"name", i.name}, {"guid", i.guid.ToString()}};
      if (i.is_default) ji["default"] = true;
      if (i.is_source) ji["source"] = true;
      impl.push_back(std::move(ji));
    }
    jclasses.push_back({{"name", c.name},
                        {"guid", c.guid.ToString()},
                        {"typeFlags", c.type_flags},
                        {"interfaces", std::move(impl)}});
  }
  j["classes"] = std::move(jclasses);
  Json jifaces = Json::array();
  for (const TypeLibInterface& i : interfaces) {
    Json members = Json::array();
    for (const TypeLibMember& m : i.members) members.push_back(MemberToJson(m));
    jifaces.push_back({{"name", i.name},
                       {"guid", i.guid.ToString()},
                       {"typeFlags", i.type_flags},
                       {"members", std::move(members)}});
  }
  j["interfaces"] = std::move(jifaces);
  Json jenums = Json::array();
  for (const TypeLibEnum& e : enums) {
    Json values = Json::array();
    for (const EnumConstant& c : e.values)
      values.push_back({{"name", c.name}, {"value", c.value}});
    jenums.push_back({{"name", e.name},
                      {"guid", e.guid.ToString()},
                      {"values", std::move(values)}});
  }
  j["enums"] = std::move(jenums);
  return j.dump(2) + "\n";
}

TypeLibrary TypeLibrary::FromJson(std::string_view text,
                                  std::string_view origin) {
  Json j = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) CannotLoad(origin, "not a type library (not JSON)");
  if (!j.is_object() || !j.contains("format") || j["format"] != kFormatName)
    CannotLoad(origin, "not a type library (no \"format\": \"" +
                           std::string(kFormatName) + "\")");
  TypeLibrary lib;
  try {
    const int version = j.at("formatVersion").get<int>();
    if (version != kFormatVersion)
      throw std::invalid_argument("format version " + std::to_string(version) +
                                  " is not supported");
    lib.name = j.at("name").get<std::string>();
    lib.guid = GuidFrom(j, "the library");
    lib.version = j.at("version").get<std::string>();
    lib.lcid = j.at("lcid").get<int32_t>();
    for (const Json& jc : j.at("classes")) {
      TypeLibClass c;
      c.name = jc.at("name").get<std::string>();
      c.guid = GuidFrom(jc, "class " + c.name);
      c.type_flags = jc.at("typeFlags").get<uint32_t>();
      for (const Json& ji : jc.at("interfaces")) {
        TypeLibImplemented i;
        i.name = ji.at("name").get<std::string>();
        i.guid = GuidFrom(ji, "interface " + i.name + " of " + c.name);
        i.is_default = Optional<bool>(ji, "default", false);
        i.is_source = Optional<bool>(ji, "source", false);
        c.interfaces.push_back(std::move(i));
      }
      lib.classes.push_back(std::move(c));
    }
    for (const Json& ji : j.at("interfaces")) {
      TypeLibInterface i;
      i.name = ji.at("name").get<std::string>();
      i.guid = GuidFrom(ji, "interface " + i.name);
      i.type_flags = ji.at("typeFlags").get<uint32_t>();
      for (const Json& jm : ji.at("members"))
        i.members.push_back(MemberFrom(jm));
      lib.interfaces.push_back(std::move(i));
    }
    for (const Json& je : Optional<Json>(j, "enums", Json::array())) {
      TypeLibEnum e;
      e.name = je.at("name").get<std::string>();
      e.guid = GuidFrom(je, "enumeration " + e.name);
      for (const Json& jv : je.at("values"))
        e.values.push_back(EnumConstant{jv.at("name").get<std::string>(),
                                        jv.at("value").get<int32_t>()});
      lib.enums.push_back(std::move(e));
    }
  } catch (const nlohmann::json::exception& e) {
    CannotLoad(origin, e.what());
  } catch (const std::invalid_argument& e) {
    CannotLoad(origin, e.what());
  } catch (const KVLError& e) {
    CannotLoad(origin, "a default value does not read: " + e.description());
  }
  return lib;
}

std::string InterfaceNameOf(const ClassInfo& info) {
  const bool has_default_interface =
      info.kind() == ClassKind::kGlobal || info.kind() == ClassKind::kCreatable;
  return has_default_interface ? "_" + info.name() : info.name();
}

TypeLibInterface DescribeInterface(const ClassInfo& info) {
  TypeLibInterface out;
  out.name = InterfaceNameOf(info);
  out.guid = info.iid();
  out.type_flags = info.InterfaceTypeFlags();
  for (const MemberInfo& m : info.members()) {
    TypeLibMember d;
    d.name = m.name;
    d.invoke_kind = static_cast<int32_t>(m.kind);
    d.dispid = m.dispid;
    d.hidden = m.hidden;
    d.result = ResultType(m);
    for (const ParamInfo& p : m.params) {
      TypeLibParam dp;
      dp.name = p.name;
      dp.type = ParamType(p);
      dp.optional = p.optional;
      dp.param_array = p.param_array;
      dp.has_default = p.has_default;
      dp.default_value = p.default_value;
      d.params.push_back(std::move(dp));
    }
    out.members.push_back(std::move(d));
  }
  return out;
}

TypeLibClass DescribeClass(const ClassInfo& info) {
  TypeLibClass out;
  out.name = info.name();
  out.guid = info.clsid();
  out.type_flags = info.TypeFlags();
  out.interfaces.push_back({InterfaceNameOf(info), info.iid(), true, false});
  for (ClassInfo::InterfaceGetter get : info.interfaces()) {
    if (get == &ConnectionPointInterface) continue;
    const ClassInfo& iface = get();
    out.interfaces.push_back(
        {InterfaceNameOf(iface), iface.iid(), false, false});
  }
  if (const ClassInfo* events = info.notifications())
    out.interfaces.push_back({events->name(), events->iid(), false, true});
  return out;
}

TypeLibrary OpenTypeLibrary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) CannotLoad(path, "the file cannot be opened");
  std::string head(4, '\0');
  in.read(head.data(), 4);
  head.resize(static_cast<size_t>(in.gcount()));
  if (IsSharedObject(head))
    return TypeLibrary::FromJson(ExportedText(path), path);
  std::string text = head;
  text.append(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) CannotLoad(path, "the file cannot be read");
  return TypeLibrary::FromJson(text, path);
}

}  // namespace kvl
