#pragma once
// Lists of handlers through which one object lets several listeners hear one notification. A
// handler is an object and one of its member functions; two handlers are the same when both
// match. When the object is a component the list hears of its destruction and drops its
// handlers, so no list ever calls a destroyed listener. Callers fire the listeners themselves,
// walking GetCount and GetEvent.
#include "platform/Component.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace qnl {

using TNotifyEvent = std::function<void(TObject* Sender)>;

template <typename... Args>
class TMethod {
public:
    TMethod() = default;

    template <class C>
    TMethod(C* Obj, void (C::*Fn)(Args...)) : FData(Obj) {
        static_assert(std::is_base_of_v<TObject, C>, "handlers belong to objects");
        static_assert(sizeof(Fn) <= sizeof(FCode));
        std::memcpy(FCode.data(), &Fn, sizeof(Fn));
        FCall = [Obj, Fn](Args... A) { (Obj->*Fn)(std::forward<Args>(A)...); };
    }

    // The object the handler belongs to; nil for the empty handler.
    TObject* Data() const { return FData; }
    explicit operator bool() const { return FData != nullptr; }
    bool operator==(const TMethod& Other) const { return FData == Other.FData && FCode == Other.FCode; }
    void operator()(Args... A) const { FCall(std::forward<Args>(A)...); }

private:
    TObject* FData = nullptr;
    std::array<unsigned char, 2 * sizeof(void*)> FCode{};   // the member function's identity
    std::function<void(Args...)> FCall;
};

template <typename... Args>
class TCallBackList : public TComponent {
public:
    using TEvent = TMethod<Args...>;

    explicit TCallBackList(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    std::string ClassName() const override { return "TCallBackList"; }

    // Adds the handler unless it is there already; answers its index either way.
    int Add(const TEvent& Event) {
        std::lock_guard lk(FLock);
        int index = IndexOfLocked(Event);
        if (index < 0) {
            FEntries.push_back(Event);
            index = static_cast<int>(FEntries.size()) - 1;
            if (auto* component = dynamic_cast<TComponent*>(Event.Data())) component->FreeNotification(this);
        }
        return index;
    }

    // Removes the last entry equal to Event.
    void Remove(const TEvent& Event) {
        std::lock_guard lk(FLock);
        const int index = IndexOfLocked(Event);
        if (index >= 0) FEntries.erase(FEntries.begin() + index);
    }

    int AddEvent(TEvent Event) { return Add(Event); }
    void RemoveEvent(TEvent Event) { Remove(Event); }

    int IndexOf(const TEvent& Event) const {
        std::lock_guard lk(FLock);
        return IndexOfLocked(Event);
    }

    int GetCount() const {
        std::lock_guard lk(FLock);
        return static_cast<int>(FEntries.size());
    }

    // The entry, or the empty handler outside 0 .. GetCount() - 1.
    TEvent GetEvent(int Index) const {
        std::lock_guard lk(FLock);
        if (Index < 0 || Index >= static_cast<int>(FEntries.size())) return {};
        return FEntries[static_cast<size_t>(Index)];
    }

    // Drops every handler that belongs to Obj.
    void RemoveObjectEvents(const TObject* Obj) {
        std::lock_guard lk(FLock);
        for (size_t i = FEntries.size(); i > 0; --i)
            if (FEntries[i - 1].Data() == Obj) FEntries.erase(FEntries.begin() + static_cast<ptrdiff_t>(i - 1));
    }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override {
        if (Operation == TOperation::opRemove) RemoveObjectEvents(AComponent);
        TComponent::Notification(AComponent, Operation);
    }

private:
    int IndexOfLocked(const TEvent& Event) const {
        for (size_t i = FEntries.size(); i > 0; --i)
            if (FEntries[i - 1] == Event) return static_cast<int>(i - 1);
        return -1;
    }

    // Recursive: a listener that is called while its list is being changed may change it too.
    mutable std::recursive_mutex FLock;
    std::vector<TEvent> FEntries;
};

class TNotifyEventList : public TCallBackList<TObject*> {
public:
    using TCallBackList<TObject*>::TCallBackList;
    std::string ClassName() const override { return "TNotifyEventList"; }
};

// A table of filter pairs keyed by blob sub type, consulted around blob reads and writes. A
// filter takes the address of the buffer pointer and of its size and may replace both.
using TBlobFilterProc = void (*)(char** Buffer, int32_t* Size);

class TBlobFilterTable {
public:
    void Add(int32_t Key, TBlobFilterProc First, TBlobFilterProc Second);
    // Index of the key's first entry (True), or where it would go (False).
    bool Find(int32_t Key, int& Index);
    // The first filter of the key's entry when Which, else the second; nil for an absent key.
    TBlobFilterProc Get(int32_t Key, bool Which);
    // Calls Get(Key, Which) with (Buffer, Size) when the key is negative (a user sub type), the
    // size is above 0 and there is a buffer.
    void Dispatch(char** Buffer, int32_t* Size, bool Which, int32_t Key);

private:
    struct Entry {
        int32_t Key;
        TBlobFilterProc First;
        TBlobFilterProc Second;
    };
    std::vector<Entry> FEntries;
    bool FSorted = false;
};

} // namespace qnl
