#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "classlib/Classes.h"
#include "classlib/Contnrs.h"

using namespace cl;

namespace {

// A component that records the notifications it gets.
class TProbe : public TComponent {
    CL_DECLARE_CLASS(TProbe, TComponent)
public:
    explicit TProbe(TComponent* owner, std::vector<std::string>* log = nullptr, std::string tag = {})
        : TComponent(owner), log_(log), tag_(std::move(tag)) {
        if (!tag_.empty() && IsValidIdent(tag_)) SetName(tag_);
    }
    ~TProbe() override {
        if (log_) log_->push_back("free " + tag_);
    }
    TComponent* watched = nullptr;

protected:
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == opRemove && c == watched) watched = nullptr;
        if (log_) log_->push_back(tag_ + (op == opInsert ? " +" : " -") + c->GetName());
    }

private:
    std::vector<std::string>* log_;
    std::string tag_;
};

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("lumetra_cl_" + std::to_string(getpid()) + "_" + name)).string();
}

}  // namespace

TEST(Components, OwnerFreesOwnedComponentsLastInsertedFirst) {
    std::vector<std::string> log;
    auto* owner = new TProbe(nullptr, &log, "owner");
    new TProbe(owner, &log, "a");
    new TProbe(owner, &log, "b");
    EXPECT_EQ(owner->GetComponentCount(), 2);
    log.clear();
    delete owner;
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "free owner");
    auto fa = std::find(log.begin(), log.end(), "free a");
    auto fb = std::find(log.begin(), log.end(), "free b");
    ASSERT_NE(fa, log.end());
    ASSERT_NE(fb, log.end());
    EXPECT_LT(fb, fa);
}

TEST(Components, FreeNotificationClearsReferences) {
    TProbe a(nullptr);
    auto* b = new TProbe(nullptr);
    a.watched = b;
    a.FreeNotification(b);
    delete b;
    EXPECT_EQ(a.watched, nullptr);
    // The registration is mutual.
    auto* c = new TProbe(nullptr);
    c->watched = &a;
    c->FreeNotification(&a);
    c->RemoveFreeNotification(&a);
    delete c;  // no dangling notification to `a` afterwards
}

TEST(Components, NamesAndClassChain) {
    TComponent owner(nullptr);
    auto* a = new TProbe(&owner);
    a->SetName("First");
    auto* b = new TProbe(&owner);
    EXPECT_THROW(b->SetName("first"), EComponentError);
    EXPECT_THROW(b->SetName("1st"), EComponentError);
    b->SetName("Second");
    EXPECT_EQ(owner.FindComponent("SECOND"), b);
    EXPECT_EQ(b->GetComponentIndex(), 1);
    EXPECT_STREQ(b->ClassName(), "TProbe");
    EXPECT_TRUE(b->InheritsFrom(TPersistent::StaticClass()));
    EXPECT_FALSE(owner.InheritsFrom(TProbe::StaticClass()));
    EXPECT_STREQ(TProbe::StaticClass().Parent->Name, "TComponent");
    delete a;
    EXPECT_EQ(owner.GetComponentCount(), 1);
    EXPECT_THROW(owner.Components(1), EListError);
}

TEST(Components, AssignDefaultRefuses) {
    TComponent a(nullptr), b(nullptr);
    try {
        a.Assign(&b);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TComponent");
    }
}

TEST(Lists, IndexErrorsAndOrder) {
    TList l;
    int x = 1, y = 2, z = 3;
    l.Add(&x);
    l.Add(&y);
    l.Insert(0, &z);
    EXPECT_EQ(l[0], &z);
    EXPECT_EQ(l.IndexOf(&y), 2);
    try {
        l.Get(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(l.Insert(5, &x), EListError);
    EXPECT_EQ(l.Remove(&x), 1);
    EXPECT_EQ(l.Remove(&x), -1);
    l.Add(nullptr);
    l.Pack();
    EXPECT_EQ(l.GetCount(), 2);
    l.Move(0, 1);
    EXPECT_EQ(l[1], &z);
}

TEST(Lists, ObjectListOwnsItsObjects) {
    std::vector<std::string> log;
    {
        TObjectList list;
        list.Add(new TProbe(nullptr, &log, "1"));
        list.Add(new TProbe(nullptr, &log, "2"));
        list.Delete(0);
        EXPECT_EQ(log, std::vector<std::string>{"free 1"});
        TObject* kept = list.Extract(list.Items(0));
        EXPECT_EQ(list.GetCount(), 0);
        list.Add(kept);
    }
    EXPECT_EQ(log.back(), "free 2");
}

TEST(Lists, StringListValuesAndText) {
    TStringList sl;
    sl.SetText("Transition=Wipe\r\nduration=500\nEmpty\rx=");
    EXPECT_EQ(sl.GetCount(), 4);
    EXPECT_EQ(sl.Values("DURATION"), "500");
    EXPECT_EQ(sl.Values("missing"), "");
    EXPECT_EQ(sl.Names(2), "");
    sl.SetValue("Duration", "700");
    EXPECT_EQ(sl.Strings(1), "Duration=700");
    sl.SetValue("new", "1");
    EXPECT_EQ(sl.Strings(4), "new=1");
    sl.SetValue("new", "");
    EXPECT_EQ(sl.IndexOfName("new"), -1);
    EXPECT_EQ(sl.IndexOf("EMPTY"), 2);
    sl.SetCaseSensitive(true);
    EXPECT_EQ(sl.IndexOf("EMPTY"), -1);
    EXPECT_THROW(sl.Strings(99), EStringListError);
    EXPECT_EQ(sl.GetText(), "Transition=Wipe\r\nDuration=700\r\nEmpty\r\nx=\r\n");

    TStringList sorted;
    sorted.SetSorted(true);
    sorted.Add("b");
    sorted.Add("A");
    sorted.Add("c");
    sorted.Add("a");  // duplicate ignored (case-insensitive)
    ASSERT_EQ(sorted.GetCount(), 3);
    EXPECT_EQ(sorted.Strings(0), "A");
    EXPECT_EQ(sorted.Strings(2), "c");
    sorted.Duplicates = dupError;
    EXPECT_THROW(sorted.Add("B"), EStringListError);
}

TEST(Streams, MemoryStreamSemantics) {
    TMemoryStream m;
    EXPECT_EQ(m.GetMemory(), nullptr);
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(m.GetSize(), 3);
    // Writing past the end fills the gap with zeros.
    m.Seek(5, soBeginning);
    m.WriteBuffer("z", 1);
    ASSERT_EQ(m.GetSize(), 6);
    EXPECT_EQ(std::memcmp(m.GetMemory(), "abc\0\0z", 6), 0);
    // soEnd is size + offset; a negative result clamps to 0.
    EXPECT_EQ(m.Seek(-2, soEnd), 4);
    EXPECT_EQ(m.Seek(-100, soCurrent), 0);
    char buf[10];
    EXPECT_EQ(m.Read(buf, 10), 6);
    EXPECT_EQ(m.Read(buf, 10), 0);
    m.SetPosition(4);
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
    m.SetSize(8);
    EXPECT_EQ(static_cast<const char*>(m.GetMemory())[7], '\0');
    m.SetSize(2);
    EXPECT_EQ(m.GetPosition(), 2);
    m.Clear();
    EXPECT_EQ(m.GetSize(), 0);
    EXPECT_EQ(m.GetPosition(), 0);
}

TEST(Streams, SetPointerViewsForeignMemory) {
    char data[] = "foreign";
    TMemoryStream m;
    m.SetPointer(data, 7);
    char buf[8] = {};
    m.ReadBuffer(buf, 7);
    EXPECT_STREQ(buf, "foreign");
    // A write copies into memory of the stream's own; the foreign block stays as it was.
    m.SetPosition(0);
    m.WriteBuffer("F", 1);
    EXPECT_EQ(data[0], 'f');
    EXPECT_EQ(static_cast<const char*>(m.GetMemory())[0], 'F');
}

TEST(Streams, CopyFromCountZeroCopiesTheWholeSource) {
    TStringStream src("0123456789");
    src.SetPosition(7);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(&src, 0), 10);
    EXPECT_EQ(dst.GetSize(), 10);
    src.SetPosition(2);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(&src, 3), 3);
    EXPECT_EQ(std::memcmp(part.GetMemory(), "234", 3), 0);
    src.SetPosition(8);
    EXPECT_THROW(part.CopyFrom(&src, 5), EReadError);
}

TEST(Streams, FileStreamModesAndErrors) {
    const std::string path = TempPath("file.bin");
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer("hello world", 11);
        EXPECT_EQ(f.GetSize(), 11);
    }
    {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        char buf[6] = {};
        f.Seek(6, soBeginning);
        EXPECT_EQ(f.Read(buf, 10), 5);
        EXPECT_EQ(std::string(buf, 5), "world");
        // Positioned reads neither use nor move the position, from several threads at once.
        f.SetPosition(3);
        std::string a(5, ' '), b(5, ' ');
        std::thread t1([&] { EXPECT_EQ(f.ReadAt(0, a.data(), 5), 5); });
        std::thread t2([&] { EXPECT_EQ(f.ReadAt(6, b.data(), 5), 5); });
        t1.join();
        t2.join();
        EXPECT_EQ(a, "hello");
        EXPECT_EQ(b, "world");
        EXPECT_EQ(f.GetPosition(), 3);
        EXPECT_EQ(f.ReadAt(100, a.data(), 5), 0);
        EXPECT_EQ(f.Write("x", 1), 0);  // read-only
    }
    std::remove(path.c_str());
    try {
        TFileStream f(path, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + path + "\". The system cannot find the file specified");
    }
    EXPECT_THROW(TFileStream("/nonexistent-dir/x", fmCreate), EFCreateError);
}

TEST(Streams, ResourceStream) {
    TResourceStream r(nullptr, "testres", "dll");
    ASSERT_EQ(r.GetSize(), 16);
    char buf[16];
    r.ReadBuffer(buf, 16);
    EXPECT_EQ(std::string(buf, 14), "resource bytes");
    try {
        r.Write("x", 1);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Can't write to a read-only resource stream");
    }
    try {
        TResourceStream missing(nullptr, "NOPE", "DLL");
        FAIL();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource NOPE not found");
    }
}
