#include "kvl/params/param_string.h"

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/params/internal/item_writer.h"
#include "kvl/params/internal/scanner.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {

const ClassInfo& ParamString::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ParamString>("ParamString", ClassKind::kCreatable)
          .Method<&ParamString::Add>("Add", {Arg("sKeyword"), Arg("NewValue")})
          .Get<&ParamString::AsParamItem>("AsParamItem")
          .Method<&ParamString::AddList>("AddList", {OptArg("Keyword")})
          .Let<&ParamString::SetCommand>("Command")
          .Get<&ParamString::Command>("Command")
          .Method<&ParamString::CurrentItem>("CurrentItem")
          .Method<&ParamString::FirstItem>("FirstItem")
          .Method<&ParamString::Item>("Item", {Arg("n")})
          .Method<&ParamString::NextItem>("NextItem")
          .Get<&ParamString::LastError>("LastError")
          .Get<&ParamString::QuoteChars>("QuoteChars")
          .Let<&ParamString::SetQuoteChars>("QuoteChars")
          .Method<&ParamString::RemoveElement>("RemoveElement", {Arg("p")})
          .Get<&ParamString::ShowTypes>("ShowTypes")
          .Let<&ParamString::SetShowTypes>("ShowTypes")
          .Get<&ParamString::SmartQuotes>("SmartQuotes")
          .Let<&ParamString::SetSmartQuotes>("SmartQuotes")
          .Get<&ParamString::Tag>("Tag")
          .Let<&ParamString::SetTag>("Tag")
          .Get<&ParamString::ToString>("ToString",
                                       {OptArg("AsReaderString", false)})
          .Method<&ParamString::ValueByIndex>(
              "ValueByIndex", {Arg("aKeyword"), OptArg("nIndex")})
          .Method<&ParamString::ItemByIndex>(
              "ItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Method<&ParamString::Value>("Value", {Arg("aKeyword")})
          .Get<&ParamString::params>("params")
          .Method<&ParamString::Parse>("Parse", {OptArg("sInput")})
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ParamString)

// The root is made with the settings of this moment when it is first used;
// until then the object holds no storage of its own.
ParamString::ParamString() {
  tree().SetSettings(Settings());
}

ParamString::~ParamString() = default;

internal::ParseSettings ParamString::Settings() const {
  internal::ParseSettings settings;
  settings.smart_quotes = smart_quotes_;
  settings.quote_chars = quote_chars_;
  settings.show_types = show_types_;
  return settings;
}

Ref<ParamItem> ParamString::Add(const std::string& keyword, Variant new_value) {
  return Root()->Add(keyword, std::move(new_value));
}

Ref<ParamItem> ParamString::AddList(const std::string& keyword) {
  return Root()->AddList(keyword);
}

void ParamString::SetQuoteChars(std::string quote_chars) {
  if (quote_chars.size() == 2) quote_chars_ = std::move(quote_chars);
}

void ParamString::SetShowTypes(bool value) {
  show_types_ = value;
  Root()->SetShowTypes(value);
}

std::string ParamString::ToString(bool as_reader_string) const {
  const Ref<ParamItem>& root = Root();
  return root->ToString(root, as_reader_string, 0);
}

Variant ParamString::ValueByIndex(const std::string& keyword,
                                  const Variant& index) const {
  const int16_t n = index.is_missing() ? int16_t{1} : ToI2(index);
  return Root()->ValueByIndex(keyword, n);
}

const std::string& ParamString::LastError() const {
  if (!last_error_formatted_) {
    last_error_ = error_.Format();
    last_error_formatted_ = true;
  }
  return last_error_;
}

bool ParamString::Parse(const std::string& input) {
  if (input.size() > static_cast<size_t>(internal::kMaxParamTextLength)) {
    error_ = {};
    last_error_ = "Text too long: " + std::to_string(input.size()) +
                  " characters, at most " +
                  std::to_string(internal::kMaxParamTextLength);
    last_error_formatted_ = true;
    return false;
  }
  const bool accepted =
      internal::ParseParamText(input, Settings(), &spare(), &error_);
  last_error_formatted_ = false;
  if (!accepted) return false;
  current_ ^= 1;
  root_.reset();
  return true;
}

}  // namespace kvl
