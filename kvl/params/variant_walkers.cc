#include "kvl/params/variant_walkers.h"

#include <optional>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/params/param_item.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"

namespace kvl {

// ---- IVariantWalker
// ----------------------------------------------------------

const ClassInfo& IVariantWalker::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IVariantWalker>("IVariantWalker", ClassKind::kPublic)
          .Method<&IVariantWalker::More>("More", {Arg("v")})
          .Method<&IVariantWalker::Reset>("Reset")
          .Method<&IVariantWalker::Skip>("Skip", {Arg("c")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IVariantWalker)

const ClassInfo& KvlEnumInfo(EErrorEnumVariant) {
  static const ClassInfo info =
      EnumBuilder("EErrorEnumVariant")
          .Value("eeBaseEnumVariant", eeBaseEnumVariant)
          .Build();
  return info;
}
KVL_REGISTER_ENUM(EErrorEnumVariant)

// ---- CEnumVariant
// ------------------------------------------------------------

const ClassInfo& CEnumVariant::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CEnumVariant>("CEnumVariant", ClassKind::kCreatable)
          .Method<&CEnumVariant::Attach>(
              "Attach", {Arg("connectA").As(&IVariantWalker::StaticClass)})
          .Method<&CEnumVariant::ClsNext>("ClsNext", {Arg("v")})
          .Method<&CEnumVariant::ClsSkip>("ClsSkip", {Arg("c")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(CEnumVariant)

namespace {

// Lets the walker know that `e` no longer holds it.
void Unlink(const Ref<Object>& walker, const CEnumVariant* e) {
  if (!walker) return;
  if (auto* w = walker->As<internal::EnumeratedWalker>()) w->EnumeratorGone(e);
}

}  // namespace

CEnumVariant::~CEnumVariant() {
  Unlink(walker_, this);
}

void CEnumVariant::Attach(Ref<Object> connectA) {
  Ref<Object> old = std::move(walker_);
  walker_ = std::move(connectA);
  typed_ = walker_ ? walker_->As<IVariantWalker>() : nullptr;
  if (old != walker_) Unlink(old, this);
}

bool CEnumVariant::ClsNext(Variant& v) {
  if (!walker_) Raise(kErrObjectNotSet);
  if (typed_) return typed_->More(v);
  Variant args[1] = {std::move(v)};
  Variant result = walker_->Invoke("More", CallKind::kMethod, args);
  v = std::move(args[0]);
  return ToBool(result);
}

void CEnumVariant::ClsSkip(int32_t& c) {
  if (!walker_) Raise(kErrObjectNotSet);
  if (typed_) return typed_->Skip(c);
  Variant args[1] = {Variant(c)};
  walker_->Invoke("Skip", CallKind::kMethod, args);
  c = ToI4(args[0]);
}

void CEnumVariant::CallReset() {
  if (!walker_) Raise(kErrObjectNotSet);
  if (typed_) return typed_->Reset();
  walker_->Invoke("Reset", CallKind::kMethod, {});
}

namespace {

// Runs a step of the enumerator under the client-call rule: the status of
// what the walker raised, or S_OK.
template <class F>
int32_t WalkerStatus(F&& step) {
  std::optional<KVLError> failure =
      CallClient(ClientFailure::kReturn, std::forward<F>(step));
  return failure ? ToStatus(failure->number()) : kS_OK;
}

}  // namespace

int32_t CEnumVariant::Next(uint32_t count, Variant* out, uint32_t* fetched) {
  uint32_t n = 0;
  const int32_t status = WalkerStatus([&] {
    int16_t wanted = CheckedCast<int16_t>(count);
    Variant v;
    for (int16_t i = 1; i <= wanted; ++i) {
      if (!ClsNext(v)) break;
      out[n] = std::move(v);
      v = Variant();
      ++n;
    }
  });
  if (status != kS_OK) {
    while (n > 0) out[--n] = Variant();
    if (fetched) *fetched = 0;
    return status;
  }
  if (fetched) *fetched = n;
  return n > 0 ? kS_OK : kS_FALSE;
}

int32_t CEnumVariant::Skip(uint32_t count) {
  return WalkerStatus([&] {
    int32_t c = CheckedCast<int32_t>(count);
    ClsSkip(c);
  });
}

int32_t CEnumVariant::Reset() {
  return WalkerStatus([&] { CallReset(); });
}

int32_t CEnumVariant::Clone(Ref<Object>* /*out*/) {
  return kE_NOTIMPL;
}

// ---- walkers
// -------------------------------------------------------------------

namespace internal {

Ref<CEnumVariant> EnumeratedWalker::NewEnum() {
  if (enumerator_) return Ref<CEnumVariant>(enumerator_);
  Ref<CEnumVariant> e = MakeRef<CEnumVariant>();
  e->Attach(Ref<Object>(this));
  enumerator_ = e.get();
  return e;
}

template <class C>
bool ContainerWalker<C>::More(Variant& v) {
  if (!container_) Raise(kErrObjectNotSet);
  position_ = CheckedAdd<int32_t>(position_, 1);
  if (position_ > container_->slots().Count()) return false;
  v = Variant(container_->slots().Get(position_));
  return true;
}

template <class C>
void ContainerWalker<C>::Skip(int32_t& c) {
  position_ = CheckedAdd<int32_t>(position_, c);
}

template class ContainerWalker<CVParamItem>;
template class ContainerWalker<CVToken>;

}  // namespace internal

const ClassInfo& CVParamItemWalker::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CVParamItemWalker>("CVParamItemWalker", ClassKind::kPrivate)
          .Method<&CVParamItemWalker::Attach>("Attach", {Arg("container")})
          .Method<&CVParamItemWalker::NewEnum>("NewEnum")
          .Implements(&IVariantWalker::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(CVParamItemWalker)

const ClassInfo& CVTokenWalker::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CVTokenWalker>("CVTokenWalker", ClassKind::kPrivate)
          .Method<&CVTokenWalker::Attach>("Attach", {Arg("container")})
          .Method<&CVTokenWalker::NewEnum>("NewEnum")
          .Implements(&IVariantWalker::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(CVTokenWalker)

// ---- CVParamItem
// ---------------------------------------------------------------

const ClassInfo& CVParamItem::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CVParamItem>("CVParamItem", ClassKind::kCreatable)
          .Method<&CVParamItem::NewEnum>("NewEnum")
          .Get<&CVParamItem::Item>("Item", {Arg("i")})
          .Method<&CVParamItem::Add>("Add", {Arg("iItemA")})
          .Get<&CVParamItem::Count>("Count")
          .Method<&CVParamItem::Remove>("Remove", {Arg("i")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(CVParamItem)

CVParamItem::CVParamItem() = default;
CVParamItem::~CVParamItem() = default;

Ref<CEnumVariant> CVParamItem::NewEnum() {
  Ref<CVParamItemWalker> walker = MakeRef<CVParamItemWalker>();
  walker->Attach(Ref<CVParamItem>(this));
  return walker->NewEnum();
}

Ref<ParamItem> CVParamItem::Item(int32_t i) const {
  return slots_.Item(i);
}

void CVParamItem::Add(Ref<ParamItem> iItemA) {
  slots_.Add(std::move(iItemA));
}

void CVParamItem::Remove(int32_t i) {
  slots_.Remove(i);
}

// ---- CVToken
// ---------------------------------------------------------------------

const ClassInfo& CVToken::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CVToken>("CVToken", ClassKind::kPrivate)
          .Method<&CVToken::NewEnum>("NewEnum")
          .Get<&CVToken::Item>("Item", {Arg("i")})
          .Set<&CVToken::SetItemRef>("Item", {Arg("i")})
          .Get<&CVToken::Last>("Last")
          .Let<&CVToken::SetLast>("Last")
          .Get<&CVToken::Count>("Count")
          .Method<&CVToken::Remove>("Remove", {Arg("i")})
          .Method<&CVToken::Add>("Add", {Arg("token")})
          .Get<&CVToken::Chunk>("Chunk")
          .Let<&CVToken::SetChunk>("Chunk")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(CVToken)

CVToken::CVToken() = default;
CVToken::~CVToken() = default;

Ref<CEnumVariant> CVToken::NewEnum() {
  Ref<CVTokenWalker> walker = MakeRef<CVTokenWalker>();
  walker->Attach(Ref<CVToken>(this));
  return walker->NewEnum();
}

Ref<Token> CVToken::Item(int32_t i) const {
  return slots_.Item(i);
}

void CVToken::SetItemRef(int32_t i, Ref<Token> token) {
  slots_.Put(i, std::move(token));
}

void CVToken::SetLast(int32_t n) {
  slots_.SetNextIndex(n);
}

void CVToken::Remove(int32_t i) {
  slots_.Remove(i);
}

void CVToken::Add(Ref<Token> token) {
  slots_.Add(std::move(token));
}

}  // namespace kvl
