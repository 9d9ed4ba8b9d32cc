// The small framework types: containers, time and run-time class records.
#include "tolvik/platform/Collections.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tolvik/platform/CObject.h"
#include "tolvik/platform/CString.h"
#include "tolvik/platform/CTime.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

std::vector<int> Forward(const CPtrList& list) {
    std::vector<int> out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(*static_cast<int*>(list.GetNext(pos)));
    return out;
}

std::vector<int> Backward(const CPtrList& list) {
    std::vector<int> out;
    for (POSITION pos = list.GetTailPosition(); pos;)
        out.push_back(*static_cast<int*>(list.GetPrev(pos)));
    return out;
}

TEST(CPtrList, KeepsOrderFromBothEnds) {
    int v[5] = {0, 1, 2, 3, 4};
    CPtrList list;
    EXPECT_TRUE(list.IsEmpty());
    list.AddTail(&v[2]);
    list.AddHead(&v[1]);
    const POSITION tail = list.AddTail(&v[3]);
    list.AddHead(&v[0]);
    list.AddTail(&v[4]);
    EXPECT_EQ(list.GetCount(), 5);
    EXPECT_EQ(Forward(list), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Backward(list), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(list.GetAt(tail), &v[3]);

    EXPECT_EQ(list.RemoveHead(), &v[0]);
    EXPECT_EQ(list.RemoveTail(), &v[4]);
    EXPECT_EQ(list.GetHead(), &v[1]);
    EXPECT_EQ(list.GetTail(), &v[3]);
    EXPECT_EQ(Backward(list), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(list.RemoveTail(), &v[3]);
    EXPECT_EQ(list.RemoveTail(), &v[2]);
    EXPECT_EQ(list.RemoveHead(), &v[1]);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);

    list.AddTail(&v[0]);  // usable again after being emptied; the destructor frees the nodes
    list.AddTail(&v[1]);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    list.AddHead(&v[2]);
    EXPECT_EQ(Forward(list), std::vector<int>{2});
}

TEST(CMap, LookupLeavesTheValueAloneWhenTheKeyIsMissing) {
    CMap<CString, int> map;
    map.SetAt(L"GGA", 2);
    map.SetAt(L"GSA", 3);
    map.SetAt(L"GGA", 7);
    map[L"VTG"] = 9;
    EXPECT_EQ(map.GetCount(), 3);
    int value = -1;
    EXPECT_TRUE(map.Lookup(L"GGA", value));
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(map.Lookup(L"gga", value));  // keys compare exactly
    EXPECT_EQ(value, 7);
    ASSERT_NE(map.PLookup(L"VTG"), nullptr);
    EXPECT_EQ(*map.PLookup(L"VTG"), 9);
    EXPECT_TRUE(map.RemoveKey(L"GSA"));
    EXPECT_FALSE(map.RemoveKey(L"GSA"));
    EXPECT_EQ(map.PLookup(L"GSA"), nullptr);
    map.RemoveAll();
    EXPECT_TRUE(map.IsEmpty());
}

TEST(CByteArray, GrowsWithZerosAndRemovesClamped) {
    CByteArray a;
    a.SetSize(3);
    EXPECT_EQ(a.GetSize(), 3);
    for (const BYTE b : a)
        EXPECT_EQ(b, 0);
    a.SetAt(0, 0xAA);
    const BYTE more[] = {1, 2, 3};
    a.Append(more, 3);
    a.Append(nullptr, 3);
    EXPECT_EQ(a.GetSize(), 6);
    a.RemoveAt(1, 2);
    EXPECT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a[0], 0xAA);
    EXPECT_EQ(a[1], 1);
    a.RemoveAt(2, 99);
    EXPECT_EQ(a.GetSize(), 2);
    a.RemoveAt(-1, 1);
    a.RemoveAt(5, 1);
    EXPECT_EQ(a.GetSize(), 2);
    a.SetSize(-4);
    EXPECT_TRUE(a.IsEmpty());
}

TEST(CTime, WholeSecondsFromTheClockWithCalendarFields) {
    platform::VirtualClock clock;  // 2026-03-14 09:05:07 UTC
    platform::ScopedClock guard(clock);
    const CTime now = CTime::GetCurrentTime();
    EXPECT_EQ(now.GetTime(), 1773479107);
    const std::tm utc = now.GetGmtTm();
    EXPECT_EQ(utc.tm_year + 1900, 2026);
    EXPECT_EQ(utc.tm_mon + 1, 3);
    EXPECT_EQ(utc.tm_mday, 14);
    EXPECT_EQ(utc.tm_hour, 9);
    EXPECT_EQ(utc.tm_min, 5);
    EXPECT_EQ(utc.tm_sec, 7);
    EXPECT_EQ(utc.tm_wday, 6);  // a Saturday

    clock.Advance(1999);  // whole seconds only
    EXPECT_EQ(CTime::GetCurrentTime() - now, 1);
    clock.SetNow(946684800);
    EXPECT_EQ(CTime::GetCurrentTime().GetGmtTm().tm_year + 1900, 2000);

    // Local fields and the calendar constructor agree with each other in any time zone.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const CTime summer(2025, 7, 1, 12, 30, 15);
    EXPECT_EQ(summer.GetTime(), 1751365815);  // 10:30:15 UTC
    EXPECT_EQ(summer.GetHour(), 12);
    EXPECT_EQ(summer.GetYear(), 2025);
    EXPECT_EQ(summer.GetMonth(), 7);
    EXPECT_EQ(summer.GetDay(), 1);
    EXPECT_EQ(summer.GetMinute(), 30);
    EXPECT_EQ(summer.GetSecond(), 15);
    EXPECT_EQ(summer.GetDayOfWeek(), 3);  // Tuesday, counting Sunday as 1
    EXPECT_LT(CTime(2025, 6, 30, 23, 0, 0), summer);
    // Beyond January 2038, where 32 bits end.
    EXPECT_EQ(CTime(2040, 1, 1, 1, 0, 0).GetGmtTm().tm_year + 1900, 2040);
}

class CBaseThing : public CObject {
    TOLVIK_DECLARE_DYNAMIC(CBaseThing)
    double m_dPayload[4] = {};
};
TOLVIK_IMPLEMENT_DYNAMIC(CBaseThing, CObject)

class CDerivedThing : public CBaseThing {
    TOLVIK_DECLARE_DYNAMIC(CDerivedThing)
    char m_extra[40] = {};
};
// Declared with CObject as its base record, as the receiver models are.
TOLVIK_IMPLEMENT_DYNAMIC(CDerivedThing, CObject)

TEST(CObject, RuntimeClassRecordsDescribeTheDeclaration) {
    const CDerivedThing derived;
    const CObject& object = derived;
    const CRuntimeClass* rc = object.GetRuntimeClass();
    ASSERT_EQ(rc, TOLVIK_RUNTIME_CLASS(CDerivedThing));
    EXPECT_STREQ(rc->m_lpszClassName, "CDerivedThing");
    EXPECT_EQ(rc->m_nObjectSize, static_cast<int>(sizeof(CDerivedThing)));
    EXPECT_EQ(rc->m_wSchema, 0xFFFFu);
    EXPECT_EQ(rc->m_pBaseClass, &CObject::classCObject);
    EXPECT_EQ(rc->CreateObject(), nullptr);
    EXPECT_TRUE(object.IsKindOf(TOLVIK_RUNTIME_CLASS(CObject)));
    EXPECT_TRUE(object.IsKindOf(TOLVIK_RUNTIME_CLASS(CDerivedThing)));
    EXPECT_FALSE(object.IsKindOf(TOLVIK_RUNTIME_CLASS(CBaseThing)));  // not declared as its base

    const CBaseThing base;
    EXPECT_STREQ(base.GetRuntimeClass()->m_lpszClassName, "CBaseThing");
    EXPECT_EQ(base.GetRuntimeClass()->m_nObjectSize, static_cast<int>(sizeof(CBaseThing)));
    EXPECT_EQ(CObject::classCObject.m_pBaseClass, nullptr);
    EXPECT_STREQ(CObject::classCObject.m_lpszClassName, "CObject");
}

}  // namespace
}  // namespace tolvik
