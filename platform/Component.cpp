#include "Component.h"

#include <algorithm>

namespace qnl {

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FDestroying = true;
    // Tell every linked component first, while the links are still whole.
    std::vector<TComponent*> notifies = FFreeNotifies;
    for (TComponent* c : notifies) {
        Unlink(c->FFreeNotifies, this);
        c->Notification(this, TOperation::opRemove);
    }
    FFreeNotifies.clear();
    // Owned components go in reverse order of creation.
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        FComponents.pop_back();
        c->FOwner = nullptr;
        delete c;
    }
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Unlink(std::vector<TComponent*>& List, TComponent* AComponent) {
    List.erase(std::remove(List.begin(), List.end(), AComponent), List.end());
}

void TComponent::InsertComponent(TComponent* AComponent) {
    AComponent->FOwner = this;
    FComponents.push_back(AComponent);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    Notification(AComponent, TOperation::opRemove);
    Unlink(FComponents, AComponent);
    AComponent->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
        AComponent->FFreeNotifies.end())
        AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (!AComponent) return;
    Unlink(FFreeNotifies, AComponent);
    Unlink(AComponent->FFreeNotifies, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

} // namespace qnl
