// A host application built against an installed Tolvik: the package, the umbrella header and the
// library link and work, the window-message interface and the session API alike.
#include <tolvik/Session.h>
#include <tolvik/tolvik.h>

#include <cstdio>

int main(int argc, char** argv) {
    int epochs = 0;
    {
        tolvik::SessionOptions options;
        options.replayFile = argc > 1 ? argv[1] : "sample.log";
        tolvik::Session session(options);
        session.OnEpoch([&](const tolvik::CGPSData& epoch) { epochs += epoch.m_bPositionValid ? 1 : 0; });
        if (!session.Run()) std::printf("replay: %s\n", session.LastError().c_str());
    }
    tolvik::CGPSEngine engine;
    const tolvik::CString last = engine.FindReceiver(L"no such model")->GetName();
    tolvik::CBinBuffer buffer("$GPGGA,1,2*00\r\n", 15);
    std::printf("%zu receivers, fallback \"%s\", %d positions replayed\n", engine.Receivers().size(),
                last.ToBytes().c_str(), epochs);
    return engine.Receivers().size() == 19 && last == L"Other" && buffer.GetCurrentMessage() && epochs > 300 ? 0 : 1;
}
