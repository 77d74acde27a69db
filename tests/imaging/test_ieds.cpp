// The video glue: construction, the graph state, stopping and releasing a graph, and the
// notification window, over fake graph interfaces that count their references.
#include <gtest/gtest.h>

#include "acquire_fakes.h"
#include "platform/com.h"

namespace ie::test {
namespace {

// One fake graph answering the media control, the media event interface and the
// windowless renderer.
class FakeGraph : public CountedObject<IMediaControl, IMediaEventEx, IVMRWindowlessControl> {
public:
    FakeGraph(FakeLog& Log, win::HRESULT StateResult, win::LONG State)
        : CountedObject(Log), stateResult_(StateResult), state_(State) {}

    win::HRESULT QueryInterface(const win::IID& Iid, void** Object) override {
        if (Iid == win::IID_IUnknown || Iid == IID_IMediaControl)
            *Object = static_cast<IMediaControl*>(this);
        else if (Iid == IID_IMediaEventEx)
            *Object = static_cast<IMediaEventEx*>(this);
        else if (Iid == IID_IVMRWindowlessControl)
            *Object = static_cast<IVMRWindowlessControl*>(this);
        else {
            *Object = nullptr;
            return win::E_NOINTERFACE;
        }
        AddRef();
        return win::S_OK;
    }
    win::ULONG AddRef() override { return CountedObject::AddRef(); }
    win::ULONG Release() override { return CountedObject::Release(); }

    win::HRESULT Run() override { return win::S_OK; }
    win::HRESULT Pause() override { return win::S_OK; }
    win::HRESULT Stop() override {
        ++log_.Stops;
        return win::S_OK;
    }
    win::HRESULT GetState(win::LONG Timeout, win::LONG* State) override {
        log_.StatesAsked.push_back(Timeout);
        // A failing graph leaves junk behind.
        *State = win::SUCCEEDED(stateResult_) ? state_ : 0x7777;
        return stateResult_;
    }
    win::HRESULT SetNotifyWindow(win::HWND Window, win::LONG Message, win::LONG_PTR Data) override {
        notifyWindow = Window;
        notifyMessage = Message;
        notifyData = Data;
        return win::S_OK;
    }
    win::HRESULT GetNativeVideoSize(win::LONG* W, win::LONG* H, win::LONG*, win::LONG*) override {
        *W = 640;
        *H = 480;
        return win::S_OK;
    }
    win::HRESULT SetVideoPosition(const win::RECT* S, const win::RECT* D) override {
        source = *S;
        dest = *D;
        return win::S_OK;
    }
    win::HRESULT RepaintVideo(win::HWND Window, win::HDC) override {
        repainted = Window;
        return win::S_OK;
    }

    win::HWND notifyWindow = nullptr, repainted = nullptr;
    win::LONG notifyMessage = 0;
    win::LONG_PTR notifyData = 0;
    win::RECT source{}, dest{};

private:
    win::HRESULT stateResult_;
    win::LONG state_;
};

// The glue with a graph handed in, the way a graph builder would leave it.
class ConnectedDirectShow : public TIEDirectShow {
public:
    void Connect(FakeGraph* Graph) {
        void* p = nullptr;
        Graph->QueryInterface(win::IID_IUnknown, &p);
        FGraph = win::ComPtr<win::IUnknown>::Attach(static_cast<IMediaControl*>(p));
        Graph->QueryInterface(IID_IMediaControl, &p);
        FMediaControl = win::ComPtr<IMediaControl>::Attach(static_cast<IMediaControl*>(p));
        Graph->QueryInterface(IID_IMediaEventEx, &p);
        FMediaEvent = win::ComPtr<IMediaEventEx>::Attach(static_cast<IMediaEventEx*>(p));
        Graph->QueryInterface(IID_IVMRWindowlessControl, &p);
        FWindowlessControl = win::ComPtr<IVMRWindowlessControl>::Attach(static_cast<IVMRWindowlessControl*>(p));
    }
};

win::HWND FakeWindow(uintptr_t V) { return reinterpret_cast<win::HWND>(V); }

TEST(DirectShowTest, ConstructionHasNoGraph) {
    const int32_t before = win::CoInitializeCount();
    {
        TIEDirectShow ds;
        EXPECT_TRUE(ds.GetOleInitialized());
        EXPECT_EQ(win::CoInitializeCount(), before + 1);
        EXPECT_FALSE(ds.IsConnected());
        EXPECT_EQ(ds.GetGraphState(), 0);
        EXPECT_TRUE(ds.FrameReady);
        EXPECT_EQ(ds.GetNotifyWindow(), nullptr);
        for (cl::TStringList* l :
             {ds.VideoInputs(), ds.AudioInputs(), ds.VideoCodecs(), ds.AudioCodecs(), ds.VideoFormats()}) {
            ASSERT_NE(l, nullptr);
            EXPECT_EQ(l->GetCount(), 0);
        }
        // Without a graph every operation that needs one does nothing.
        int32_t w = 5, h = 6;
        ds.GetNativeVideoSize(w, h);
        EXPECT_EQ(w, 5);
        EXPECT_EQ(h, 6);
        ds.SetVideoPosition({0, 0, 1, 1}, {0, 0, 2, 2});
        ds.RepaintVideo(nullptr, nullptr);
        ds.SetNotifyWindow(FakeWindow(0x40), 8025, 8026);
        EXPECT_EQ(ds.GetNotifyWindow(), FakeWindow(0x40));
        EXPECT_EQ(ds.GetNewFrameMessage(), 8025u);
        EXPECT_EQ(ds.GetEventMessage(), 8026u);
        ds.Disconnect();
        ds.FilterList().push_back(std::make_unique<cl::TObject>());
        ds.ClearFilterList();
        EXPECT_TRUE(ds.FilterList().empty());
    }
    EXPECT_EQ(win::CoInitializeCount(), before);  // the destructor uninitialises
}

TEST(DirectShowTest, TheNameTables) {
    EXPECT_STREQ(IEDSVideoStandards[0], "None");
    EXPECT_STREQ(IEDSVideoStandards[19], "PAL_N_COMBO");
    EXPECT_STREQ(IEDSVideoSubtypes[0], "CLPL");
    EXPECT_STREQ(IEDSVideoSubtypes[28], "RGB24");
    EXPECT_STREQ(IEDSVideoSubtypes[35], "IA44");
}

// The graph state, and whether Disconnect stops the graph: a state the graph cannot give
// counts as stopped.
TEST(DirectShowTest, GraphStateAndDisconnect) {
    struct Case {
        win::HRESULT Result;
        win::LONG State;
        int32_t Expected;
        int Stops;
    };
    const Case cases[] = {
        {win::S_OK, 0, 0, 0},       // stopped: nothing to stop
        {win::S_OK, 1, 1, 1},       // paused
        {win::S_OK, 2, 2, 1},       // running
        {win::S_OK, 0x0102, 2, 1},  // only the low byte
        {win::E_FAIL, 2, 0, 0},     // no answer: stopped
        {win::E_UNEXPECTED, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.State);
        FakeLog log;
        auto* graph = new FakeGraph(log, c.Result, c.State);
        {
            ConnectedDirectShow ds;
            ds.Connect(graph);
            graph->Release();  // the glue holds the only references now
            EXPECT_TRUE(ds.IsConnected());
            EXPECT_EQ(ds.GetGraphState(), c.Expected);
            ASSERT_FALSE(log.StatesAsked.empty());
            EXPECT_EQ(log.StatesAsked.back(), 100);  // a 100 ms time-out
            ds.Disconnect();
            EXPECT_EQ(log.Stops, c.Stops);
            EXPECT_FALSE(ds.IsConnected());
            EXPECT_TRUE(log.Destroyed);
            EXPECT_EQ(ds.GetGraphState(), 0);
        }
        EXPECT_EQ(log.AddRefs + 1, log.Releases);
    }
}

TEST(DirectShowTest, DestroyingAConnectedGlueReleasesEverything) {
    FakeLog log;
    auto* graph = new FakeGraph(log, win::S_OK, 2);
    {
        ConnectedDirectShow ds;
        ds.Connect(graph);
        graph->Release();
        EXPECT_FALSE(log.Destroyed);
    }
    EXPECT_EQ(log.Stops, 1);
    EXPECT_TRUE(log.Destroyed);
    EXPECT_EQ(log.AddRefs + 1, log.Releases);
}

TEST(DirectShowTest, ConnectedOperationsReachTheGraph) {
    FakeLog log;
    auto* graph = new FakeGraph(log, win::S_OK, 0);
    ConnectedDirectShow ds;
    ds.Connect(graph);
    ds.SetNotifyWindow(FakeWindow(0x80), 8025, 8026);
    EXPECT_EQ(graph->notifyWindow, FakeWindow(0x80));
    EXPECT_EQ(graph->notifyMessage, 8026);  // the graph reports its events
    EXPECT_EQ(graph->notifyData, reinterpret_cast<win::LONG_PTR>(&ds));
    int32_t w = 0, h = 0;
    ds.GetNativeVideoSize(w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    ds.SetVideoPosition({1, 2, 3, 4}, {5, 6, 7, 8});
    EXPECT_EQ(graph->source.right, 3);
    EXPECT_EQ(graph->dest.bottom, 8);
    ds.RepaintVideo(FakeWindow(0x90), nullptr);
    EXPECT_EQ(graph->repainted, FakeWindow(0x90));
    graph->Release();
}

}  // namespace
}  // namespace ie::test
