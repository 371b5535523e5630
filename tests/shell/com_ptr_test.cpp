// The COM owners against an object that counts its references: every
// reference taken is given back exactly once, across moves, out-parameters,
// hand-overs and queries for interfaces the object lacks.
#include <gtest/gtest.h>

#include <oaidl.h>

#include <cstdint>

#include "shell/com_ptr.h"

namespace {

using shell::ComPtr;

// Answers IUnknown and IPersist; a query for anything else is refused, and
// a "sloppy" object leaves rubbish in the out-parameter when it refuses.
class Counted final : public IPersist {
public:
    explicit Counted(bool* gone, bool sloppy = false) : gone_(gone), sloppy_(sloppy) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPersist) {
            *out = static_cast<IPersist*>(this);
            AddRef();
            return S_OK;
        }
        *out = sloppy_ ? reinterpret_cast<void*>(static_cast<uintptr_t>(0x10)) : nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG n = --refs;
        if (n == 0) {
            *gone_ = true;
            delete this;
        }
        return n;
    }
    STDMETHODIMP GetClassID(CLSID* id) override {
        *id = CLSID{};
        ++calls;
        return S_OK;
    }

    ULONG refs = 1;  // the creator's
    int calls = 0;

private:
    ~Counted() = default;
    bool* gone_;
    bool sloppy_;
};

TEST(ComPtr, AttachTakesTheCallersReferenceAndTheOwnerGivesItBackOnce) {
    bool gone = false;
    auto* object = new Counted(&gone);
    {
        ComPtr<IPersist> p;
        EXPECT_FALSE(p);
        p.Attach(object);
        EXPECT_TRUE(p);
        EXPECT_EQ(p.get(), object);
        EXPECT_EQ(object->refs, 1u);  // no reference added
        CLSID id{};
        EXPECT_EQ(p->GetClassID(&id), S_OK);
        EXPECT_EQ(object->calls, 1);
    }
    EXPECT_TRUE(gone);
}

TEST(ComPtr, AttachingAnotherObjectReleasesTheFirst) {
    bool firstGone = false, secondGone = false;
    auto* second = new Counted(&secondGone);
    ComPtr<IPersist> p;
    p.Attach(new Counted(&firstGone));
    p.Attach(second);
    EXPECT_TRUE(firstGone);
    EXPECT_FALSE(secondGone);
    p.reset();
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(p.get(), nullptr);
    p.reset();  // empty: nothing to release
}

TEST(ComPtr, MovesHandTheReferenceOverWithoutCounting) {
    bool gone = false;
    auto* object = new Counted(&gone);
    ComPtr<IPersist> a;
    a.Attach(object);
    ComPtr<IPersist> b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.get(), object);
    EXPECT_EQ(object->refs, 1u);

    ComPtr<IPersist> c;
    c = std::move(b);
    EXPECT_EQ(b.get(), nullptr);
    EXPECT_EQ(object->refs, 1u);

    auto& self = c;
    c = std::move(self);  // moving onto itself keeps the reference
    EXPECT_EQ(c.get(), object);
    EXPECT_FALSE(gone);

    // Moving onto a holder releases what it held.
    bool otherGone = false;
    ComPtr<IPersist> d;
    d.Attach(new Counted(&otherGone));
    d = std::move(c);
    EXPECT_TRUE(otherGone);
    EXPECT_FALSE(gone);
    d = nullptr;
    EXPECT_TRUE(gone);
}

TEST(ComPtr, PutReleasesTheHeldObjectBeforeHandingOutTheSlot) {
    bool firstGone = false, secondGone = false;
    ComPtr<IPersist> p;
    *p.put() = new Counted(&firstGone);
    IPersist** slot = p.put();
    EXPECT_TRUE(firstGone);  // released before the callee writes
    EXPECT_EQ(*slot, nullptr);
    *slot = new Counted(&secondGone);
    EXPECT_FALSE(secondGone);
    void** untyped = p.put_void();
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(*untyped, nullptr);
}

TEST(ComPtr, DetachHandsTheReferenceToTheCaller) {
    bool gone = false;
    auto* object = new Counted(&gone);
    {
        ComPtr<IPersist> p;
        p.Attach(object);
        EXPECT_EQ(p.Detach(), object);
        EXPECT_EQ(p.get(), nullptr);
    }
    EXPECT_FALSE(gone);
    EXPECT_EQ(object->refs, 1u);
    object->Release();
    EXPECT_TRUE(gone);
}

TEST(ComPtr, AsAddsAReferenceOrGivesNothingForAMissingInterface) {
    bool gone = false;
    auto* object = new Counted(&gone);
    ComPtr<IUnknown> unknown;
    unknown.Attach(object);
    {
        ComPtr<IPersist> persist = unknown.As<IPersist>();
        ASSERT_TRUE(persist);
        EXPECT_EQ(persist.get(), static_cast<IPersist*>(object));
        EXPECT_EQ(object->refs, 2u);
    }
    EXPECT_EQ(object->refs, 1u);

    ComPtr<IDispatch> missing = unknown.As<IDispatch>();
    EXPECT_FALSE(missing);
    EXPECT_EQ(object->refs, 1u);

    EXPECT_FALSE(ComPtr<IUnknown>().As<IPersist>());  // nothing to ask
    unknown.reset();
    EXPECT_TRUE(gone);
}

TEST(ComPtr, ARefusedQueryLeavingRubbishInTheSlotReleasesNothing) {
    bool gone = false;
    ComPtr<IUnknown> unknown;
    unknown.Attach(new Counted(&gone, true));
    ComPtr<IDispatch> missing = unknown.As<IDispatch>();  // would crash on releasing the rubbish
    EXPECT_EQ(missing.get(), nullptr);
    unknown.reset();
    EXPECT_TRUE(gone);
}

TEST(ComPtr, CopyToGivesTheReceiverAReferenceOfItsOwn) {
    bool gone = false;
    auto* object = new Counted(&gone);
    IPersist* copy = nullptr;
    {
        ComPtr<IPersist> p;
        p.Attach(object);
        p.CopyTo(&copy);
        EXPECT_EQ(copy, object);
        EXPECT_EQ(object->refs, 2u);
        ComPtr<IPersist>().CopyTo(&copy);
        EXPECT_EQ(copy, nullptr);  // an empty owner writes null
    }
    EXPECT_FALSE(gone);
    object->Release();
    EXPECT_TRUE(gone);
}

TEST(UniqueVariant, ClearsWhatItHoldsOnceAcrossMovesAndPuts) {
    bool gone = false;
    auto* object = new Counted(&gone);
    shell::UniqueVariant a;
    EXPECT_EQ(a.get()->vt, VT_EMPTY);
    a.get()->vt = VT_UNKNOWN;
    a.get()->punkVal = object;  // the variant takes the creator's reference

    shell::UniqueVariant b(std::move(a));
    EXPECT_EQ(a.get()->vt, VT_EMPTY);
    EXPECT_EQ(b.get()->punkVal, object);
    shell::UniqueVariant c;
    c = std::move(b);
    EXPECT_EQ(b.get()->vt, VT_EMPTY);
    EXPECT_EQ(object->refs, 1u);
    EXPECT_FALSE(gone);

    VARIANT* slot = c.put();
    EXPECT_TRUE(gone);  // cleared before the callee writes
    EXPECT_EQ(slot->vt, VT_EMPTY);
    slot->vt = VT_BSTR;
    slot->bstrVal = ::SysAllocString(L"询价");
    EXPECT_EQ(::SysStringLen(c.get()->bstrVal), 2u);
}

TEST(UniqueVariant, ReleaseHandsTheValueOver) {
    bool gone = false;
    auto* object = new Counted(&gone);
    VARIANT out;
    {
        shell::UniqueVariant v;
        v.get()->vt = VT_UNKNOWN;
        v.get()->punkVal = object;
        out = v.release();
        EXPECT_EQ(v.get()->vt, VT_EMPTY);
    }
    EXPECT_FALSE(gone);
    EXPECT_EQ(out.punkVal, object);
    ::VariantClear(&out);
    EXPECT_TRUE(gone);
}

TEST(UniqueBstr, OwnsOneStringAcrossMovesAndPuts) {
    shell::UniqueBstr a(::SysAllocString(L"about:blank"));
    ASSERT_TRUE(a);
    BSTR text = a.get();
    shell::UniqueBstr b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), text);
    EXPECT_EQ(::SysStringLen(b.get()), 11u);
    BSTR* slot = b.put();
    EXPECT_EQ(*slot, nullptr);
    *slot = ::SysAllocString(L"x");
    EXPECT_EQ(::SysStringLen(b.get()), 1u);
}

}  // namespace
