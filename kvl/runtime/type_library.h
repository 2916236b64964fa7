// TypeLibrary: the type information of a component library as a document
// that can be written, read back and opened from a file or a loaded
// component: its classes with their identifiers, type flags and interfaces,
// and each interface's members in order (name, invocation kind, result and
// parameter type descriptions). docs/type-library.md describes the JSON
// form.
//
// Member tables (class_info.h) are the source: DescribeInterface turns one
// table into an interface description, the way a live object's interface
// is described (the object's Class()). The library's own type library is
// built from the catalogue (kvl/frame/type_library_export.h).
//
// OpenTypeLibrary reads a JSON type-library file, or a component shared
// library that exports its type library through the C entry point named
// kTypeLibraryEntryPoint; anything else fails with a KVLError that says
// why. A component library opened this way stays loaded.
//
// Threading: a TypeLibrary is a value; OpenTypeLibrary may be called from
// any thread.
//
//   TypeLibrary lib = OpenTypeLibrary("/usr/lib/libkvlcommon.so.1");
//   for (const TypeLibClass& c : lib.classes) ...
//   std::string json = lib.ToJson();
#ifndef KVL_RUNTIME_TYPE_LIBRARY_H_
#define KVL_RUNTIME_TYPE_LIBRARY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The status of a file that cannot be read as a type library.
inline constexpr int32_t kTYPE_E_CANTLOADLIBRARY =
    static_cast<int32_t>(0x80029C4A);

// The C entry point by which a component library hands out its type
// library: int32_t DllGetTypeLibraryText(const char** json), giving text
// that lives as long as the library is loaded.
inline constexpr char kTypeLibraryEntryPoint[] = "DllGetTypeLibraryText";
using TypeLibraryEntryPoint = int32_t (*)(const char** json);

// The variant type code of a member that returns nothing.
inline constexpr int32_t kVtVoid = 24;

// A type: its variant type code (with the array flag 0x2000 where it is an
// array), the named interface, class or enumeration it refers to (empty for
// none) and its levels of indirection (1 for a by-reference parameter).
struct KVL_EXPORT TypeDesc {
  int32_t vt = 0;
  std::string ref;
  int32_t indirection = 0;
};

struct KVL_EXPORT TypeLibParam {
  std::string name;
  TypeDesc type;
  bool optional = false;
  bool param_array = false;
  bool has_default = false;
  Variant default_value;
};

struct KVL_EXPORT TypeLibMember {
  std::string name;
  int32_t invoke_kind = 1;  // 1 method, 2 property Get, 4 Let, 8 Set
  int32_t dispid = 0;
  bool hidden = false;
  TypeDesc result;  // vt kVtVoid for none
  std::vector<TypeLibParam> params;
};

struct KVL_EXPORT TypeLibInterface {
  std::string name;
  Guid guid;
  uint32_t type_flags = 0;
  std::vector<TypeLibMember> members;
};

// An interface as a class lists it.
struct KVL_EXPORT TypeLibImplemented {
  std::string name;
  Guid guid;
  bool is_default = false;
  // The class's outgoing notification interface.
  bool is_source = false;
};

struct KVL_EXPORT TypeLibClass {
  std::string name;
  Guid guid;
  uint32_t type_flags = 0;
  std::vector<TypeLibImplemented> interfaces;
};

struct KVL_EXPORT TypeLibEnum {
  std::string name;
  Guid guid;
  std::vector<EnumConstant> values;
};

struct KVL_EXPORT TypeLibrary {
  std::string name;
  Guid guid;
  std::string version;
  int32_t lcid = 0;
  std::vector<TypeLibClass> classes;
  std::vector<TypeLibInterface> interfaces;
  std::vector<TypeLibEnum> enums;

  // The interface called `name` (ignoring case), or null.
  const TypeLibInterface* FindInterface(std::string_view name) const;

  // The JSON form, indented by two spaces, ending with a newline.
  std::string ToJson() const;
  // Reads the JSON form; raises kTYPE_E_CANTLOADLIBRARY naming `origin`
  // and what is wrong.
  static TypeLibrary FromJson(std::string_view text, std::string_view origin);
};

// The name under which `info` is published as an interface: "_X" for the
// default interface of a global or creatable class, else the table's name.
KVL_EXPORT std::string InterfaceNameOf(const ClassInfo& info);

// The description of the interface whose member table is `info`.
KVL_EXPORT TypeLibInterface DescribeInterface(const ClassInfo& info);

// The class entry of `info`: its default interface, the other interfaces it
// answers for and its notification interface (as source). The runtime's
// connection-point interface, which every class with notifications
// answers for, is not listed.
KVL_EXPORT TypeLibClass DescribeClass(const ClassInfo& info);

// Opens the type library in `path`: a JSON type-library file, or a
// component shared library exporting kTypeLibraryEntryPoint. Raises
// kTYPE_E_CANTLOADLIBRARY with the reason when it is neither.
KVL_EXPORT TypeLibrary OpenTypeLibrary(const std::string& path);

}  // namespace kvl

#endif  // KVL_RUNTIME_TYPE_LIBRARY_H_
