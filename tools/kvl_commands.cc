// The commands of the `kvl` tool:
//
//   kvl classes                        kind, programmatic id, class id
//   kvl members <Type>                 a member table in order, or the
//                                      values of an enumeration
//   kvl members --methods <Type>       the members as the object factory
//                                      describes them (ActiveXMethod texts)
//   kvl typelib                        the library's type library (JSON,
//                                      docs/type-library.md)
//   kvl call [--events] <ProgId> <Member> [arg…]
//                                      calls a member, prints the result;
//                                      with --events first prints each
//                                      notification the object fires
//                                      during the call
//   kvl param <text>                   parses a parameter string (kvl_param.cc)
//   kvl config check|dump <file>       checks or prints a configuration
//                                      (kvl_config.cc)
//   kvl register | unregister          the library's registry entries
//
// `members` takes a class or enumeration name, "_X" for the default
// interface of X, "__X" for the outgoing interface of X, or the name of an
// interface a class implements.
//
// Arguments of `call` are read in the library's value text form
// (KVLStrings.CStrToVariant): «12» is an Integer, «70000» a Long, «2.5» a
// Single, «True» a Boolean, «'12'» the string 12, «[1, 'x y']» an array,
// anything else a string. The result is printed with the library's text
// conversion. A notification prints as "event <Name>(<arg>, ...)", objects
// as <Class>. A failure prints "error <number> (<source>): <description>"
// to the error stream (statuses in hex) and exits with 1.
#include "tools/kvl_commands.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "kvl/factory/activex_method.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/frame/type_library_export.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/type_library.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"
#include "tools/kvl_config.h"
#include "tools/kvl_param.h"

namespace kvl {
namespace {

constexpr char kUsage[] =
    "usage: kvl classes\n"
    "       kvl members [--methods] <Type>\n"
    "       kvl typelib\n"
    "       kvl call [--events] <ProgId> <Member> [args...]\n"
    "       kvl param <text>\n"
    "       kvl config check|dump <file>\n"
    "       kvl register\n"
    "       kvl unregister\n";

int PrintError(std::FILE* err, int32_t number, std::string_view source,
               std::string_view description) {
  char num[16];
  if (number < 0) {
    std::snprintf(num, sizeof num, "0x%08X", static_cast<uint32_t>(number));
  } else {
    std::snprintf(num, sizeof num, "%d", number);
  }
  std::fprintf(err, "error %s (%.*s): %.*s\n", num,
               static_cast<int>(source.size()), source.data(),
               static_cast<int>(description.size()), description.data());
  return 1;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Every interface a catalogue entry names: its own table, the interfaces it
// implements and its outgoing interface.
const ClassInfo* FindInterface(std::string_view name) {
  for (const CatalogueEntry* entry : Catalogue::Entries()) {
    const ClassInfo& info = entry->Info();
    if (const ClassInfo* events = info.notifications())
      if (EqualsNoCase(events->name(), name)) return events;
    for (ClassInfo::InterfaceGetter get : info.interfaces())
      if (EqualsNoCase(get().name(), name)) return &get();
  }
  return nullptr;
}

int ListClasses(std::FILE* out) {
  std::vector<const ClassInfo*> classes;
  for (const CatalogueEntry* entry : Catalogue::Entries())
    classes.push_back(&entry->Info());
  std::stable_sort(classes.begin(), classes.end(),
                   [](const ClassInfo* a, const ClassInfo* b) {
                     if (a->kind() != b->kind()) return a->kind() < b->kind();
                     return CompareTextNoCase(a->name(), b->name()) < 0;
                   });
  for (const ClassInfo* info : classes)
    std::fprintf(out, "%d %s %s\n", static_cast<int>(info->kind()),
                 info->ProgId().c_str(), info->clsid().ToString().c_str());
  return 0;
}

// A value as a notification line shows it.
std::string ValueText(const Variant& v) {
  if (v.is_nothing()) return "Nothing";
  if (v.is_object()) return "<" + v.AsObject()->ClassName() + ">";
  try {
    return ToText(v);
  } catch (const KVLError&) {
    return "<" + TypeName(v) + ">";
  }
}

// Prints every notification it receives.
Ref<DynamicObject> MakePrintingSink(std::FILE* out) {
  auto sink = MakeRef<DynamicObject>("kvl.EventPrinter");
  sink->OnAnyMember(
      [out](std::string_view name, CallKind, std::span<Variant> args) {
        std::string line = "event " + std::string(name) + "(";
        for (size_t i = 0; i < args.size(); ++i)
          line += (i ? ", " : "") + ValueText(args[i]);
        std::fprintf(out, "%s)\n", line.c_str());
        return Variant();
      });
  return sink;
}

int CallMember(std::span<char*> args, bool events, std::FILE* out) {
  const ClassInfo& info = FindPublishedType(args[0]);
  Ref<Object> object = info.kind() == ClassKind::kGlobal
                           ? GlobalObject(info.name())
                           : CreateObject(info.ProgId());
  std::string_view member = args[1];
  const MemberInfo* m = info.Find(member, CallKind::kGet);
  CallKind kind = m ? m->kind : CallKind::kMethod;
  std::vector<Variant> call_args;
  for (char* a : args.subspan(2))
    call_args.push_back(Strings().CStrToVariant(a, false));
  uint32_t cookie = events ? ConnectSink(*object, MakePrintingSink(out)) : 0;
  struct Disconnect {
    Object& object;
    uint32_t cookie;
    ~Disconnect() {
      if (cookie) DisconnectSink(object, cookie);
    }
  } disconnect{*object, cookie};
  Variant result = object->Invoke(member, kind, call_args);
  std::fprintf(out, "%s\n", ValueText(result).c_str());
  return 0;
}

int RunEntryPoint(int32_t (*entry_point)(), std::FILE* err) {
  int32_t status = entry_point();
  if (status == kS_OK) return 0;
  ErrorRecord record = TakeErrorRecord();
  if (record.set)
    return PrintError(err, record.number, record.source, record.description);
  return PrintError(err, status, kLibrarySource, StandardDescription(status));
}

int Run(std::span<char*> args, std::FILE* out, std::FILE* err) {
  if (args.empty()) {
    std::fputs(kUsage, err);
    return 2;
  }
  std::string_view command = args[0];
  if (command == "classes" && args.size() == 1) return ListClasses(out);
  if (command == "members" && args.size() == 2) {
    std::fputs(MembersText(FindPublishedType(args[1])).c_str(), out);
    return 0;
  }
  if (command == "members" && args.size() == 3 &&
      std::string_view(args[1]) == "--methods") {
    std::fputs(MethodsText(FindPublishedType(args[2])).c_str(), out);
    return 0;
  }
  if (command == "typelib" && args.size() == 1) {
    std::fputs(LibraryTypeLibraryText().c_str(), out);
    return 0;
  }
  if (command == "call" && args.size() >= 3) {
    const bool events = std::string_view(args[1]) == "--events";
    if (!events || args.size() >= 4)
      return CallMember(args.subspan(events ? 2 : 1), events, out);
  }
  if (command == "param" && args.size() == 2) return ParamCommand(args[1]);
  if (command == "config" && args.size() == 3) {
    const std::string_view sub = args[1];
    if (sub == "check") return ConfigCheckCommand(args[2]);
    if (sub == "dump") return ConfigDumpCommand(args[2]);
  }
  if (command == "register" && args.size() == 1)
    return RunEntryPoint(&DllRegisterServer, err);
  if (command == "unregister" && args.size() == 1)
    return RunEntryPoint(&DllUnregisterServer, err);
  std::fputs(kUsage, err);
  return 2;
}

}  // namespace

const ClassInfo& FindPublishedType(std::string_view name) {
  const CatalogueEntry* entry = Catalogue::FindByName(name);
  if (!entry) entry = Catalogue::Find(name);
  if (entry) return entry->Info();
  if (const ClassInfo* iface = FindInterface(name)) return *iface;
  // "_X": the default interface of class X.
  if (StartsWith(name, "_") && !StartsWith(name, "__")) {
    entry = Catalogue::FindByName(name.substr(1));
    if (entry && (entry->Info().kind() == ClassKind::kGlobal ||
                  entry->Info().kind() == ClassKind::kCreatable))
      return entry->Info();
  }
  Raise(kREGDB_E_CLASSNOTREG, {}, "Unknown class: " + std::string(name));
}

std::string MembersText(const ClassInfo& info) {
  std::string out;
  for (const EnumConstant& c : info.constants())
    out += c.name + " = " + std::to_string(c.value) + "\n";
  for (const MemberInfo& m : info.members()) {
    out += std::to_string(m.dispid) + " " + SignatureText(m);
    if (m.hidden) out += " [hidden]";
    out += "\n";
  }
  return out;
}

std::string MethodsText(const ClassInfo& info) {
  std::string out;
  for (const TypeLibMember& m : DescribeInterface(info).members)
    out += ActiveXMethod::Describe(m)->ToString() + "\n";
  return out;
}

int RunTool(std::span<char*> args, std::FILE* out, std::FILE* err) {
  try {
    return Run(args, out, err);
  } catch (const KVLError& e) {
    return PrintError(err, e.number(), e.source(), e.description());
  } catch (const std::exception& e) {
    return PrintError(err, kE_FAIL, kLibrarySource, e.what());
  }
}

}  // namespace kvl
