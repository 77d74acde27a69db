// The image acquisition glue: without the service it exists without a device manager;
// with a (fake) manager it subscribes three sinks, reports their tree events on the owner
// component's thread and releases every reference when it goes.
#include <gtest/gtest.h>

#include <thread>

#include "acquire_fakes.h"
#include "imaging/io/vovozidio.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

// A subscription: holds its sink until it is released.
class FakeRegistration : public CountedObject<win::IUnknown> {
public:
    FakeRegistration(FakeLog& Log, IWiaEventCallback* Sink) : CountedObject(Log), sink_(Sink) { sink_->AddRef(); }
    ~FakeRegistration() override { sink_->Release(); }
    win::HRESULT QueryInterface(const win::IID&, void** Object) override {
        *Object = nullptr;
        return win::E_NOINTERFACE;
    }

private:
    IWiaEventCallback* sink_;
};

struct ManagerState {
    FakeLog Manager, Registrations;
    std::vector<win::GUID> Events;
    std::vector<IWiaEventCallback*> Sinks;  // not held: valid while registered
    bool FailRegistrations = false;
};

class FakeManager : public CountedObject<IWiaDevMgr> {
public:
    explicit FakeManager(ManagerState& S) : CountedObject(S.Manager), s_(S) {}
    win::HRESULT QueryInterface(const win::IID& Iid, void** Object) override {
        if (Iid == win::IID_IUnknown || Iid == IID_IWiaDevMgr) {
            *Object = static_cast<IWiaDevMgr*>(this);
            AddRef();
            return win::S_OK;
        }
        *Object = nullptr;
        return win::E_NOINTERFACE;
    }
    win::HRESULT RegisterEventCallbackInterface(win::LONG Flags, const char16_t* DeviceID, const win::GUID* Event,
                                                IWiaEventCallback* Callback, win::IUnknown** Object) override {
        EXPECT_EQ(Flags, 0);
        EXPECT_EQ(DeviceID, nullptr);  // every device
        if (s_.FailRegistrations) return win::E_FAIL;
        s_.Events.push_back(*Event);
        s_.Sinks.push_back(Callback);
        *Object = new FakeRegistration(s_.Registrations, Callback);
        return win::S_OK;
    }

private:
    ManagerState& s_;
};

class WiaTest : public IOUnitTest {
protected:
    void TearDown() override {
        win::CoResetClassTable();
        IOUnitTest::TearDown();
    }
    void InstallManager() {
        win::CoRegisterClass(CLSID_WiaDevMgr, win::CLSCTX_LOCAL_SERVER, [this](const win::IID& Iid, void** Object) {
            auto* m = new FakeManager(state_);
            const win::HRESULT hr = m->QueryInterface(Iid, Object);
            m->Release();
            return hr;
        });
    }
    static win::HRESULT Fire(IWiaEventCallback* Sink, const win::GUID& Event) {
        win::ULONG type = 0;
        return Sink->ImageEventCallback(&Event, u"", u"dev", u"", 0, u"item", &type, 0);
    }
    ManagerState state_;
};

TEST_F(WiaTest, WithoutTheServiceThereIsNoManager) {
    TVovozIdIO io(nullptr);
    TIEWia* wia = io.GetWIA();
    ASSERT_NE(wia, nullptr);
    EXPECT_EQ(io.GetWIA(), wia);  // made once
    EXPECT_EQ(wia->GetOwner(), &io);
    EXPECT_EQ(wia->GetDeviceManager(), nullptr);
    EXPECT_EQ(wia->RegistrationCount(), 0);
    EXPECT_TRUE(wia->Items().empty());
    EXPECT_EQ(wia->LastEvent, 0);
    EXPECT_FALSE(wia->OnDeviceEvent);
    EXPECT_TRUE(wia->OnProgress);
}

TEST_F(WiaTest, SubscribesThreeEventsInOrderAndReleasesEverything) {
    InstallManager();
    {
        TVovozIdIO io(nullptr);
        TIEWia* wia = io.GetWIA();
        EXPECT_NE(wia->GetDeviceManager(), nullptr);
        EXPECT_EQ(wia->RegistrationCount(), 3);
        ASSERT_EQ(state_.Events.size(), 3u);
        EXPECT_EQ(state_.Events[0], WIA_EVENT_ITEM_CREATED);
        EXPECT_EQ(state_.Events[1], WIA_EVENT_ITEM_DELETED);
        EXPECT_EQ(state_.Events[2], WIA_EVENT_TREE_UPDATED);
        EXPECT_FALSE(state_.Manager.Destroyed);
    }
    // The component's end frees the glue: registrations (and with them the sinks) and the
    // manager are gone, every reference taken was given back.
    EXPECT_TRUE(state_.Manager.Destroyed);
    EXPECT_EQ(state_.Manager.AddRefs + 1, state_.Manager.Releases);
    EXPECT_EQ(state_.Registrations.AddRefs + 3, state_.Registrations.Releases);
}

TEST_F(WiaTest, FailedSubscriptionsLeaveNoRegistration) {
    InstallManager();
    state_.FailRegistrations = true;
    TIEWia wia(nullptr);
    EXPECT_NE(wia.GetDeviceManager(), nullptr);
    EXPECT_EQ(wia.RegistrationCount(), 0);
}

TEST_F(WiaTest, SinkEventKinds) {
    InstallManager();
    TIEWia wia(nullptr);  // no owner: reported where the event arrives
    int events = 0;
    wia.OnDeviceEvent = [&](TIEWia* Sender) {
        EXPECT_EQ(Sender, &wia);
        ++events;
    };
    ASSERT_EQ(state_.Sinks.size(), 3u);
    const win::GUID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    struct Case {
        const win::GUID* Event;
        uint8_t Kind;
        int Events;
    };
    const Case cases[] = {{&WIA_EVENT_TREE_UPDATED, 1, 1},
                          {&WIA_EVENT_ITEM_CREATED, 2, 2},
                          {&WIA_EVENT_ITEM_DELETED, 3, 3},
                          {&other, 3, 3}};  // another event changes nothing
    for (const Case& c : cases) {
        EXPECT_EQ(Fire(state_.Sinks[0], *c.Event), win::S_OK);
        EXPECT_EQ(wia.LastEvent, c.Kind);
        EXPECT_EQ(events, c.Events);
    }
    win::ULONG type = 0;
    EXPECT_EQ(state_.Sinks[1]->ImageEventCallback(nullptr, u"", u"", u"", 0, u"", &type, 0), win::S_OK);
}

TEST_F(WiaTest, EventsFromTheServiceThreadRunOnTheOwnersThread) {
    InstallManager();
    TVovozIdIO io(nullptr);
    TIEWia* wia = io.GetWIA();
    std::thread::id seenOn;
    int events = 0;
    wia->OnDeviceEvent = [&](TIEWia*) {
        seenOn = std::this_thread::get_id();
        ++events;
    };
    IWiaEventCallback* sink = state_.Sinks[2];
    std::thread([&] { EXPECT_EQ(Fire(sink, WIA_EVENT_ITEM_CREATED), win::S_OK); }).join();
    // Posted, not run on the service's thread.
    EXPECT_EQ(events, 0);
    EXPECT_EQ(wia->LastEvent, 0);
    io.CheckSynchronize();
    EXPECT_EQ(events, 1);
    EXPECT_EQ(wia->LastEvent, 2);
    EXPECT_EQ(seenOn, std::this_thread::get_id());
}

TEST_F(WiaTest, AnEventPostedBeforeTheGlueWentIsDropped) {
    InstallManager();
    TVovozIdIO io(nullptr);
    TIEWia* wia = new TIEWia(&io);
    int events = 0;
    wia->OnDeviceEvent = [&](TIEWia*) { ++events; };
    // A sink kept by the service beyond the registration's release.
    IWiaEventCallback* sink = state_.Sinks[0];
    sink->AddRef();
    std::thread([&] { Fire(sink, WIA_EVENT_TREE_UPDATED); }).join();
    delete wia;
    io.CheckSynchronize();
    EXPECT_EQ(events, 0);
    // After the glue went the sink answers S_OK and reports nothing.
    EXPECT_EQ(Fire(sink, WIA_EVENT_TREE_UPDATED), win::S_OK);
    io.CheckSynchronize();
    EXPECT_EQ(events, 0);
    sink->Release();
}

TEST_F(WiaTest, ProgressAnswersWhetherToGoOn) {
    TVovozIdIO io(nullptr);
    std::vector<int> seen;
    io.OnProgress = [&](cl::TObject* Sender, int P) {
        EXPECT_EQ(Sender, &io);
        seen.push_back(P);
    };
    TIEWia* wia = io.GetWIA();
    io.Aborting = false;
    EXPECT_TRUE(wia->OnProgress(30));
    io.Aborting = true;
    EXPECT_FALSE(wia->OnProgress(60));
    EXPECT_FALSE(io.WIAProgress(90));
    EXPECT_EQ(seen, (std::vector<int>{30, 60, 90}));
}

}  // namespace
}  // namespace ie::test
