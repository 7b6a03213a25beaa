#include "automation/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* Owner) : m_owner(Owner) {
    if (m_owner)
        m_owner->InsertComponent(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (m_owner)
        m_owner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
    while (!m_components.empty()) {
        TComponent* last = m_components.back();
        m_components.pop_back();
        last->m_owner = nullptr;
        delete last; // owned: the owner is the one that destroys it
    }
}

void TComponent::InsertComponent(TComponent* component) {
    m_components.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component) {
    m_components.erase(std::remove(m_components.begin(), m_components.end(), component), m_components.end());
}
