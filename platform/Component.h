#pragma once
// A small component base: a name, an owner that frees what it owns, and free notification so
// that a component holding a plain reference to another hears when that other is destroyed.
#include <string>
#include <vector>

namespace qnl {

enum class TOperation { opInsert, opRemove };

// The root of every class whose instances are passed around as "Sender" of an event.
class TObject {
public:
    virtual ~TObject() = default;
    virtual std::string ClassName() const { return "TObject"; }
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // The class name as messages show it ("TSQLExec", ...).
    std::string ClassName() const override { return "TComponent"; }

    const std::string& Name() const { return FName; }
    void SetName(const std::string& AName) { FName = AName; }
    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int Index) const { return FComponents.at(static_cast<size_t>(Index)); }

    // After AComponent->FreeNotification(this), this component's Notification(AComponent,
    // opRemove) runs when AComponent is destroyed. The link is dropped from both sides when
    // either goes, so neither ever calls a destroyed component.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

protected:
    virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    static void Unlink(std::vector<TComponent*>& List, TComponent* AComponent);

    std::string FName;
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;     // owned, in order of creation
    std::vector<TComponent*> FFreeNotifies;   // linked both ways
    bool FDestroying = false;
};

} // namespace qnl
