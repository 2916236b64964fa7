#include "tools/export_macros.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace kvl::tools {
namespace {

constexpr std::string_view kExportInclude = "#include \"kvl/runtime/export.h\"";

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (start < text.size()) lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The lines with comments, the contents of literals and preprocessor
// directives replaced by spaces; quotes stay, so `extern "C"` is still
// recognisable. Columns are unchanged.
std::vector<std::string> CodeView(const std::vector<std::string>& lines) {
  std::vector<std::string> code = lines;
  bool in_comment = false;
  bool in_directive = false;
  for (std::string& line : code) {
    if (in_directive ||
        (!in_comment && line.find_first_not_of(" \t") != std::string::npos &&
         line[line.find_first_not_of(" \t")] == '#')) {
      in_directive = !line.empty() && line.back() == '\\';
      std::fill(line.begin(), line.end(), ' ');
      continue;
    }
    for (size_t i = 0; i < line.size(); ++i) {
      if (in_comment) {
        if (line.compare(i, 2, "*/") == 0) {
          line[i] = line[i + 1] = ' ';
          ++i;
          in_comment = false;
        } else {
          line[i] = ' ';
        }
      } else if (line.compare(i, 2, "//") == 0) {
        std::fill(line.begin() + static_cast<long>(i), line.end(), ' ');
        break;
      } else if (line.compare(i, 2, "/*") == 0) {
        line[i] = line[i + 1] = ' ';
        ++i;
        in_comment = true;
      } else if (line[i] == '"' ||
                 (line[i] == '\'' &&
                  !(i > 0 &&
                    std::isxdigit(static_cast<unsigned char>(line[i - 1]))))) {
        const char quote = line[i];
        size_t j = i + 1;
        while (j < line.size() && line[j] != quote) {
          if (line[j] == '\\' && j + 1 < line.size()) line[j++] = ' ';
          line[j++] = ' ';
        }
        i = j;
      }
    }
  }
  return code;
}

// A statement being read at namespace or class scope: its code characters
// and where each came from.
struct Statement {
  std::string text;
  std::vector<std::pair<int, int>> where;  // line, column of text[i]

  void Add(char c, int line, int column) {
    text.push_back(c == '\t' ? ' ' : c);
    where.emplace_back(line, column);
  }
  void Clear() {
    text.clear();
    where.clear();
  }
};

size_t SkipSpace(const std::string& s, size_t i) {
  while (i < s.size() && s[i] == ' ') ++i;
  return i;
}

std::string WordAt(const std::string& s, size_t i) {
  size_t end = i;
  while (end < s.size() && IsIdentChar(s[end])) ++end;
  return s.substr(i, end - i);
}

// Index just past the bracketed group that opens at s[i] (`open`).
size_t SkipGroup(const std::string& s, size_t i, char open, char close) {
  int depth = 0;
  for (; i < s.size(); ++i) {
    if (s[i] == open) ++depth;
    if (s[i] == close && --depth == 0) return i + 1;
  }
  return s.size();
}

bool HasWord(const std::string& s, std::string_view word) {
  for (size_t i = s.find(word); i != std::string::npos;
       i = s.find(word, i + 1)) {
    const bool starts = i == 0 || !IsIdentChar(s[i - 1]);
    const bool ends =
        i + word.size() >= s.size() || !IsIdentChar(s[i + word.size()]);
    if (starts && ends) return true;
  }
  return false;
}

bool HasExport(const std::string& s) {
  return HasWord(s, "KVL_EXPORT") || HasWord(s, "KVL_INTERNAL_EXPORT");
}

// A declaration head with its template headers, attributes and a requires
// clause stepped over: `start` is where the declaration proper begins.
struct Head {
  size_t start = 0;
  std::string first;  // its first word
};

Head ReadHead(const std::string& s) {
  size_t i = SkipSpace(s, 0);
  for (;;) {
    if (WordAt(s, i) == "template" && s[SkipSpace(s, i + 8)] == '<') {
      i = SkipSpace(s, SkipGroup(s, SkipSpace(s, i + 8), '<', '>'));
    } else if (s.compare(i, 2, "[[") == 0) {
      i = SkipSpace(s, SkipGroup(s, i, '[', ']'));
    } else {
      break;
    }
  }
  return {i, WordAt(s, i)};
}

// Where the parameter list of a function declaration opens, or npos for a
// variable: the first '(' outside template arguments, before any '='.
size_t FunctionParen(const std::string& s, size_t from) {
  if (HasWord(s, "operator")) return s.find('(', s.find("operator"));
  int angle = 0;
  for (size_t i = from; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '<') ++angle;
    if (c == '>' && i > 0 && s[i - 1] != '-' && angle > 0) --angle;
    if (angle > 0) continue;
    if (c == '=') return std::string::npos;
    if (c == '(') return i;
  }
  return std::string::npos;
}

// The name declared before the parameter list at `paren`, and whether it is
// qualified (a member defined outside its class).
std::string NameBefore(const std::string& s, size_t paren, bool* qualified) {
  size_t end = paren;
  while (end > 0 && s[end - 1] == ' ') --end;
  size_t begin = end;
  while (begin > 0 && IsIdentChar(s[begin - 1])) --begin;
  if (qualified) *qualified = begin >= 2 && s.compare(begin - 2, 2, "::") == 0;
  return s.substr(begin, end - begin);
}

enum class Kind { kNamespace, kClass, kOther };
enum class Pending { kNone, kSemicolon, kFunctionBody, kMemberBody };

struct Scope {
  Scope(Kind k, bool a) : kind(k), anonymous(a) {}
  Kind kind;
  bool anonymous;
  Statement statement;
  Pending pending = Pending::kNone;
  std::string function_name;  // kFunctionBody: the function being defined
  size_t function_start = 0;  // where its declaration proper begins
  bool function_exported = false;
};

class Scanner {
 public:
  explicit Scanner(const std::vector<std::string>& code) : code_(code) {}

  std::vector<ExportFinding> Run() {
    scopes_.push_back(std::make_unique<Scope>(Kind::kNamespace, false));
    for (size_t line = 0; line < code_.size(); ++line) {
      for (size_t col = 0; col < code_[line].size(); ++col) {
        Step(code_[line][col], static_cast<int>(line), static_cast<int>(col));
      }
      Step(' ', static_cast<int>(line), static_cast<int>(code_[line].size()));
    }
    return std::move(findings_);
  }

 private:
  void Step(char c, int line, int col) {
    Scope& top = *scopes_.back();
    if (capture_depth_ > 0) body_.push_back(c);
    if (top.kind == Kind::kOther) {
      if (c == '{') Push(Kind::kOther, false);
      if (c == '}') Pop();
      return;
    }
    Statement& st = top.statement;
    switch (c) {
      case '{': Open(top); return;
      case '}': Pop(); return;
      case ';':
        if (top.pending == Pending::kNone) {
          if (top.kind == Kind::kNamespace)
            Declaration(top);
          else
            Member(top);
        }
        st.Clear();
        top.pending = Pending::kNone;
        return;
      default: break;
    }
    if (st.text.empty() && c == ' ') return;
    st.Add(c, line, col);
    if (c == ')' && top.pending == Pending::kNone) EndMacroCall(st);
    if (c == ':' && top.kind == Kind::kClass) {
      static const std::regex access(R"(^\s*(public|private|protected)\s*:$)");
      if (std::regex_match(st.text, access)) st.Clear();
    }
  }

  // A statement that is only a macro call (`KVL_DECLARE_CLASS(X)`) ends at
  // its closing parenthesis: such macros are written without a semicolon.
  void EndMacroCall(Statement& st) {
    static const std::regex macro(R"(^\s*[A-Z][A-Z0-9_]+\s*\()");
    if (!std::regex_search(st.text, macro)) return;
    const size_t open = st.text.find('(');
    if (SkipGroup(st.text, open, '(', ')') == st.text.size()) st.Clear();
  }

  void Open(Scope& top) {
    const std::string& s = top.statement.text;
    const Head head = ReadHead(s);
    const bool extern_c =
        head.first == "extern" && s[SkipSpace(s, head.start + 6)] == '"';
    const size_t ns = s.find("namespace");
    const bool is_namespace =
        head.first == "namespace" ||
        (head.first == "inline" && ns != std::string::npos &&
         HasWord(s, "namespace"));
    if (top.kind == Kind::kNamespace && (extern_c || is_namespace)) {
      const bool anonymous =
          is_namespace && s.find_first_not_of(' ', ns + 9) == std::string::npos;
      top.statement.Clear();
      Push(Kind::kNamespace, top.anonymous || anonymous);
      return;
    }
    if (head.first == "class" || head.first == "struct" ||
        head.first == "union") {
      if (top.kind == Kind::kNamespace && !top.anonymous) ClassHead(top, head);
      top.pending = Pending::kSemicolon;
      Push(Kind::kClass, top.anonymous);
      return;
    }
    const size_t paren = FunctionParen(s, head.start);
    if (head.first != "enum" && paren != std::string::npos) {
      top.pending = top.kind == Kind::kNamespace ? Pending::kFunctionBody
                                                 : Pending::kMemberBody;
      if (top.pending == Pending::kFunctionBody && !top.anonymous) {
        bool qualified = false;
        top.function_name = NameBefore(s, paren, &qualified);
        top.function_exported =
            qualified || HasExport(s) || head.first == "static";
        top.function_start = head.start;
        capture_depth_ = 1;
        body_.clear();
      }
    } else {
      top.pending = Pending::kSemicolon;
    }
    Push(Kind::kOther, top.anonymous);
  }

  void ClassHead(Scope& top, const Head& head) {
    const std::string& s = top.statement.text;
    const size_t keyword_end = head.start + head.first.size();
    if (HasExport(s)) return;
    size_t i = SkipSpace(s, keyword_end);
    const std::string name = WordAt(s, i);
    if (name.empty()) return;  // an unnamed struct type
    if (s[SkipSpace(s, i + name.size())] == '<') return;  // specialization
    auto [line, col] = top.statement.where[keyword_end - 1];
    findings_.push_back({line, col + 1, false, head.first + " " + name});
  }

  void Push(Kind kind, bool anonymous) {
    scopes_.push_back(std::make_unique<Scope>(kind, anonymous));
    if (capture_depth_ > 0) ++capture_depth_;
  }

  void Pop() {
    if (scopes_.size() == 1) return;  // unbalanced; keep going
    if (capture_depth_ > 0) --capture_depth_;
    const Kind popped = scopes_.back()->kind;
    scopes_.pop_back();
    Scope& top = *scopes_.back();
    if (popped == Kind::kNamespace) {
      top.statement.Clear();
      return;
    }
    if (top.pending == Pending::kFunctionBody) {
      if (!top.anonymous && !top.function_exported &&
          (HasWord(body_, "static") || HasWord(body_, "thread_local"))) {
        Add(top, top.function_start, "function " + top.function_name);
      }
      top.statement.Clear();
      top.pending = Pending::kNone;
    } else if (top.pending == Pending::kMemberBody) {
      top.statement.Clear();
      top.pending = Pending::kNone;
    }
  }

  void Add(const Scope& top, size_t at, std::string what) {
    auto [line, col] = top.statement.where[at];
    findings_.push_back({line, col, true, std::move(what)});
  }

  // A namespace-scope declaration without body, ended by ';'.
  void Declaration(const Scope& top) {
    const std::string& s = top.statement.text;
    if (top.anonymous || s.empty() || HasExport(s)) return;
    const Head head = ReadHead(s);
    static const char* const kSkipped[] = {
        "using",     "typedef",   "namespace", "static_assert", "friend",
        "class",     "struct",    "union",     "enum",          "static",
        "constexpr", "consteval", "typename",  "concept",       "template"};
    for (const char* word : kSkipped) {
      if (head.first == word) return;
    }
    size_t at = head.start;
    if (head.first == "extern") {
      const size_t next = SkipSpace(s, at + 6);
      if (WordAt(s, next) == "template") return;
      if (s[next] == '"') {  // extern "C" int F();
        at = SkipSpace(s, s.find('"', next + 1) + 1);
      } else {
        Add(top, at, "variable " + LastName(s));
        return;
      }
    }
    const size_t paren = FunctionParen(s, at);
    if (head.first == "inline") {
      if (paren == std::string::npos && !HasWord(s, "const") &&
          !HasWord(s, "constexpr")) {
        Add(top, at, "variable " + LastName(s));
      }
      return;
    }
    if (paren == std::string::npos || s.find("= delete") != std::string::npos)
      return;
    bool qualified = false;
    const std::string name = NameBefore(s, paren, &qualified);
    if (!qualified) Add(top, at, "function " + name);
  }

  // A class member ended by ';': a friend function defined elsewhere.
  void Member(const Scope& top) {
    const std::string& s = top.statement.text;
    const Head head = ReadHead(s);
    if (top.anonymous || head.first != "friend" || HasExport(s)) return;
    const size_t paren = FunctionParen(s, head.start);
    if (paren == std::string::npos) return;
    auto [line, col] = top.statement.where[head.start + 5];
    findings_.push_back(
        {line, col + 1, false,
         "friend " + s.substr(head.start + 7, paren - head.start - 7)});
  }

  static std::string LastName(const std::string& s) {
    size_t end = s.find('=');
    if (end == std::string::npos) end = s.size();
    bool ignored;
    return NameBefore(s, end, &ignored);
  }

  const std::vector<std::string>& code_;
  std::vector<std::unique_ptr<Scope>> scopes_;
  std::vector<ExportFinding> findings_;
  int capture_depth_ = 0;
  std::string body_;
};

}  // namespace

std::vector<ExportFinding> FindMissingExports(std::string_view header) {
  const std::vector<std::string> code = CodeView(SplitLines(header));
  return Scanner(code).Run();
}

bool IncludesExportHeader(std::string_view header) {
  for (const std::string& line : SplitLines(header)) {
    if (line == kExportInclude) return true;
  }
  return false;
}

std::string InsertExports(std::string_view header,
                          const std::vector<ExportFinding>& findings) {
  std::vector<std::string> lines = SplitLines(header);
  std::vector<ExportFinding> sorted = findings;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.line != b.line ? a.line > b.line : a.column > b.column;
  });
  for (const ExportFinding& f : sorted) {
    lines[f.line].insert(static_cast<size_t>(f.column),
                         f.before ? "KVL_EXPORT " : " KVL_EXPORT");
  }
  if (!findings.empty() && !IncludesExportHeader(header)) {
    // Among the library's includes in order; else after the standard ones;
    // else after the include guard.
    std::string include(kExportInclude);
    long kvl_last = -1, std_last = -1, guard = -1;
    long before = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      if (l.rfind("#include \"kvl/", 0) == 0) {
        kvl_last = static_cast<long>(i);
        if (before < 0 && l > include) before = static_cast<long>(i);
      } else if (l.rfind("#include <", 0) == 0) {
        std_last = static_cast<long>(i);
      } else if (guard < 0 && l.rfind("#define KVL_", 0) == 0) {
        guard = static_cast<long>(i);
      }
    }
    if (before >= 0) {
      lines.insert(lines.begin() + before, include);
    } else if (kvl_last >= 0) {
      lines.insert(lines.begin() + kvl_last + 1, include);
    } else {
      const long after = std_last >= 0 ? std_last : guard;
      lines.insert(lines.begin() + after + 1, {"", include});
    }
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  if (!header.empty() && header.back() != '\n') out.pop_back();
  return out;
}

}  // namespace kvl::tools
