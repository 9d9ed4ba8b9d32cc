// CObject and its run-time class record.
//
// Every receiver class carries a record with its class name, object size, schema and declared
// base, which hosts use to tell receiver objects apart without RTTI on their side. The declared
// base of every receiver record is CObject (see the receiver classes), so IsKindOf against
// CGPSReceiver is false for the models: the record describes the declaration, not the C++ tree.
#pragma once

#include "tolvik/platform/Types.h"

namespace tolvik {

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                     // 0xFFFF: not serialisable
    CObject* (*m_pfnCreateObject)();    // null: no dynamic creation
    const CRuntimeClass* m_pBaseClass;  // null for CObject itself

    bool IsDerivedFrom(const CRuntimeClass* pBase) const;
    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;

    bool IsKindOf(const CRuntimeClass* pClass) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

}  // namespace tolvik

#define TOLVIK_RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class body: declares the record and GetRuntimeClass.
#define TOLVIK_DECLARE_DYNAMIC(class_name)                  \
public:                                                     \
    static const ::tolvik::CRuntimeClass class##class_name; \
    const ::tolvik::CRuntimeClass* GetRuntimeClass() const override;

// In one source file: defines the record (schema 0xFFFF, no dynamic creation).
#define TOLVIK_IMPLEMENT_DYNAMIC(class_name, base_class_name)                                                        \
    const ::tolvik::CRuntimeClass class_name::class##class_name = {                                                  \
        #class_name, static_cast<int>(sizeof(class_name)), 0xFFFFu, nullptr, TOLVIK_RUNTIME_CLASS(base_class_name)}; \
    const ::tolvik::CRuntimeClass* class_name::GetRuntimeClass() const { return TOLVIK_RUNTIME_CLASS(class_name); }
