// The member table of the `_ConfigReader` contract, shared by every class
// that implements it, so their late-bound members stay in the published
// order.
#ifndef KVL_CONFIG_INTERNAL_READER_MEMBERS_H_
#define KVL_CONFIG_INTERNAL_READER_MEMBERS_H_

#include "kvl/runtime/class_info.h"

namespace kvl::config_internal {

// Adds the `_ConfigReader` members of class C (which implements
// IConfigReader) to `b`.
template <class C>
ClassBuilder<C>& AddReaderMembers(ClassBuilder<C>& b) {
  return b.template Get<&C::LazyEvaluation>("LazyEvaluation")
      .template Let<&C::SetLazyEvaluation>("LazyEvaluation")
      .template Get<&C::Modified>("Modified")
      .template Let<&C::SetModified>("Modified")
      .template Get<&C::FirstSectionName>("FirstSectionName")
      .template Get<&C::ConfigFile>("ConfigFile")
      .template Method<&C::AddSection>("AddSection", {Arg("SecName")})
      .template Method<&C::DeleteSection>("DeleteSection", {Arg("SecName")})
      .template Method<&C::AddItem>("AddItem", {Arg("SecName"), Arg("TheItem")})
      .template Method<&C::DeleteItem>("DeleteItem",
                                       {Arg("SecName"), Arg("ItemIndex")})
      .template Get<&C::NextSectionName>("NextSectionName")
      .template Method<&C::ClearContents>("ClearContents")
      .template Let<&C::SetCommentString>("CommentString")
      .template Let<&C::SetContinuationString>("ContinuationString")
      .template Get<&C::LoadConfigFile>("LoadConfigFile", {Arg("FileName")})
      .template Get<&C::SaveConfigFile>("SaveConfigFile",
                                        {OptArg("FileName", "")})
      .template Get<&C::ReturnComments>("ReturnComments")
      .template Let<&C::SetReturnComments>("ReturnComments")
      .template Get<&C::Section>("Section", {Arg("SecName")})
      .template Get<&C::SectionDef>("SectionDef", {Arg("SecName")})
      .template Get<&C::SectionItem>("SectionItem",
                                     {Arg("SecName"), Arg("Index")})
      .template Get<&C::SectionItemByName>("SectionItemByName",
                                           {Arg("SecName"), Arg("ItemName")})
      .template Method<&C::Terminate>("Terminate");
}

}  // namespace kvl::config_internal

#endif  // KVL_CONFIG_INTERNAL_READER_MEMBERS_H_
