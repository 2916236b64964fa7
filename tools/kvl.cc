// kvl: a command-line view of the library's catalogue, and a way to call a
// member of a class by name and to register or unregister the library.
//
//   kvl classes                        kind, programmatic id, class id
//   kvl members <Class>                the member table in order
//   kvl call <ProgId> <Member> [arg…]  calls a member, prints the result
//   kvl param <text>                   parses a parameter string (kvl_param.cc)
//   kvl config check|dump <file>       checks or prints a configuration
//                                      (kvl_config.cc)
//   kvl register | unregister          the library's registry entries
//
// Arguments of `call` are read in the library's value text form
// (KVLStrings.CStrToVariant): «12» is an Integer, «70000» a Long, «2.5» a
// Single, «True» a Boolean, «'12'» the string 12, «[1, 'x y']» an array,
// anything else a string. The result is printed with the library's text
// conversion. A failure prints
// "error <number> (<source>): <description>" to stderr (statuses in hex)
// and exits with 1.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"
#include "tools/kvl_config.h"
#include "tools/kvl_param.h"

namespace kvl {
namespace {

constexpr char kUsage[] =
    "usage: kvl classes\n"
    "       kvl members <Class>\n"
    "       kvl call <ProgId> <Member> [args...]\n"
    "       kvl param <text>\n"
    "       kvl config check|dump <file>\n"
    "       kvl register\n"
    "       kvl unregister\n";

int PrintError(int32_t number, std::string_view source,
               std::string_view description) {
  char num[16];
  if (number < 0) {
    std::snprintf(num, sizeof num, "0x%08X", static_cast<uint32_t>(number));
  } else {
    std::snprintf(num, sizeof num, "%d", number);
  }
  std::fprintf(stderr, "error %s (%.*s): %.*s\n", num,
               static_cast<int>(source.size()), source.data(),
               static_cast<int>(description.size()), description.data());
  return 1;
}

std::string KindName(CallKind kind) {
  switch (kind) {
    case CallKind::kGet: return "Get";
    case CallKind::kLet: return "Let";
    case CallKind::kSet: return "Set";
    case CallKind::kMethod: break;
  }
  return "Method";
}

std::string TypeText(VarType type, const std::string& type_name) {
  if (!type_name.empty()) return type_name;
  std::string suffix = IsArrayType(type) ? "()" : "";
  switch (ElementType(type)) {
    case VarType::kEmpty: return "Empty" + suffix;
    case VarType::kNull: return "Null" + suffix;
    case VarType::kI2: return "Integer" + suffix;
    case VarType::kI4: return "Long" + suffix;
    case VarType::kR4: return "Single" + suffix;
    case VarType::kR8: return "Double" + suffix;
    case VarType::kCurrency: return "Currency" + suffix;
    case VarType::kDate: return "Date" + suffix;
    case VarType::kString: return "String" + suffix;
    case VarType::kObject: return "Object" + suffix;
    case VarType::kError: return "Error" + suffix;
    case VarType::kBool: return "Boolean" + suffix;
    case VarType::kDecimal: return "Decimal" + suffix;
    case VarType::kByte: return "Byte" + suffix;
    default: return "Variant" + suffix;
  }
}

std::string ParamText(const ParamInfo& p) {
  std::string out;
  if (p.optional) out += "Optional ";
  if (p.by_ref) out += "ByRef ";
  out += p.name + " As " + TypeText(p.type, p.TypeName());
  if (p.has_default) {
    std::string value = ToText(p.default_value);
    if (p.default_value.is_string()) value = "\"" + value + "\"";
    out += " = " + value;
  }
  return out;
}

const CatalogueEntry* FindClass(std::string_view name) {
  const CatalogueEntry* entry = Catalogue::FindByName(name);
  if (!entry) entry = Catalogue::Find(name);
  if (!entry)
    Raise(kREGDB_E_CLASSNOTREG, {}, "Unknown class: " + std::string(name));
  return entry;
}

int ListClasses() {
  std::vector<const ClassInfo*> classes;
  for (const CatalogueEntry* entry : Catalogue::Entries())
    classes.push_back(&entry->Info());
  std::stable_sort(classes.begin(), classes.end(),
                   [](const ClassInfo* a, const ClassInfo* b) {
                     if (a->kind() != b->kind()) return a->kind() < b->kind();
                     return CompareTextNoCase(a->name(), b->name()) < 0;
                   });
  for (const ClassInfo* info : classes)
    std::printf("%d %s %s\n", static_cast<int>(info->kind()),
                info->ProgId().c_str(), info->clsid().ToString().c_str());
  return 0;
}

int ListMembers(std::string_view name) {
  const ClassInfo& info = FindClass(name)->Info();
  for (const MemberInfo& m : info.members()) {
    std::string params;
    for (const ParamInfo& p : m.params) {
      if (!params.empty()) params += ", ";
      params += ParamText(p);
    }
    std::string line = std::to_string(m.dispid) + " " + KindName(m.kind) + " " +
                       m.name + "(" + params + ")";
    if (m.result != VarType::kEmpty)
      line += " As " + TypeText(m.result, m.ResultTypeName());
    if (m.hidden) line += " [hidden]";
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int CallMember(std::string_view progid, std::string_view member,
               std::span<char*> raw_args) {
  const CatalogueEntry* entry = FindClass(progid);
  const ClassInfo& info = entry->Info();
  Ref<Object> object = info.kind() == ClassKind::kGlobal
                           ? GlobalObject(info.name())
                           : CreateObject(info.ProgId());
  const MemberInfo* m = info.Find(member, CallKind::kGet);
  CallKind kind = m ? m->kind : CallKind::kMethod;
  std::vector<Variant> args;
  for (char* a : raw_args) args.push_back(Strings().CStrToVariant(a, false));
  Variant result = object->Invoke(member, kind, args);
  std::printf("%s\n", ToText(result).c_str());
  return 0;
}

int RunEntryPoint(int32_t (*entry_point)()) {
  int32_t status = entry_point();
  if (status == kS_OK) return 0;
  ErrorRecord record = TakeErrorRecord();
  if (record.set)
    return PrintError(record.number, record.source, record.description);
  return PrintError(status, kLibrarySource, StandardDescription(status));
}

int ConfigCommand(std::span<char*> args) {
  std::string_view sub = args[1];
  if (sub == "check") return ConfigCheckCommand(args[2]);
  if (sub == "dump") return ConfigDumpCommand(args[2]);
  std::fputs(kUsage, stderr);
  return 2;
}

int Run(std::span<char*> args) {
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string_view command = args[0];
  if (command == "classes" && args.size() == 1) return ListClasses();
  if (command == "members" && args.size() == 2) return ListMembers(args[1]);
  if (command == "call" && args.size() >= 3)
    return CallMember(args[1], args[2], args.subspan(3));
  if (command == "param" && args.size() == 2) return ParamCommand(args[1]);
  if (command == "config" && args.size() == 3) return ConfigCommand(args);
  if (command == "register" && args.size() == 1)
    return RunEntryPoint(&DllRegisterServer);
  if (command == "unregister" && args.size() == 1)
    return RunEntryPoint(&DllUnregisterServer);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace
}  // namespace kvl

int main(int argc, char** argv) {
  try {
    return kvl::Run(std::span<char*>(argv + 1, static_cast<size_t>(argc - 1)));
  } catch (const kvl::KVLError& e) {
    return kvl::PrintError(e.number(), e.source(), e.description());
  } catch (const std::exception& e) {
    return kvl::PrintError(kvl::kE_FAIL, kvl::kLibrarySource, e.what());
  }
}
