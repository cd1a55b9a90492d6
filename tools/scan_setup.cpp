#include "scan_setup.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include "register_command.h"
#include "udp_source.h"

namespace quenlix {

namespace {

// Ten datagrams of seven packets: enough to find the packet size, soon enough at a low bitrate.
constexpr size_t kLiveBlock = 10 * 7 * 204;

} // namespace

int OpenInput(qxhost::ScanSession& session, const std::string& input, unsigned packetSize) {
    int status = qxhost::kScanOk;
    if (IsUdpUrl(input)) {
        UdpAddress address;
        std::string why;
        if (!ParseUdpUrl(input, &address, &why)) {
            fprintf(stderr, "quenlix: %s: %s\n", input.c_str(), why.c_str());
            return qxhost::kScanUsage;
        }
        std::unique_ptr<qxhost::ByteSource> source = OpenUdp(address, &session.StopFlag(), &why);
        if (!source) {
            fprintf(stderr, "quenlix: %s: %s\n", input.c_str(), why.c_str());
            return qxhost::kScanInputError;
        }
        status = session.OpenSource(std::move(source), input, packetSize, kLiveBlock);
    } else {
        status = session.OpenFile(input, packetSize);
    }
    if (status != qxhost::kScanOk) {
        fprintf(stderr, "quenlix: %s\n", session.Error().c_str());
    }
    return status;
}

namespace {

void ReportSetupFailure(const qxhost::ScanSession& session) {
    fprintf(stderr, "quenlix: %s: %s\n", session.Error().c_str(),
            DescribeHresult(session.SetupResult()).c_str());
    if (!session.Module().empty()) {
        fprintf(stderr, "quenlix: module tried: %s\n", session.Module().c_str());
    }
}

std::atomic<qxhost::ScanSession*> g_interrupted{nullptr};

void OnInterrupt(int signal) {
    qxhost::ScanSession* session = g_interrupted.load();
    if (session != nullptr) {
        session->RequestStop();
    }
    std::signal(signal, SIG_DFL);
}

} // namespace

int BuildGraph(qxhost::ScanSession& session) {
    // The filter comes from the module as any application gets it: by class through COM, or from
    // quenlix.ax beside the program when the class is not registered.
    int status = session.Build([](IBaseFilter** filter, std::string* from) {
        return CreateCollector(CLSID_TableCollectorFilter, IID_IBaseFilter, reinterpret_cast<void**>(filter),
                               from);
    });
    if (status != qxhost::kScanOk) {
        ReportSetupFailure(session);
    }
    return status;
}

int RunScanSession(qxhost::ScanSession& session, const qxhost::ScanSession::ReadHook& hook) {
    int status = session.Run(hook);
    if (status == qxhost::kScanSetupError) {
        ReportSetupFailure(session);
    } else if (status != qxhost::kScanOk) {
        fprintf(stderr, "quenlix: %s\n", session.Error().c_str());
    }
    return status;
}

InterruptEndsScan::InterruptEndsScan(qxhost::ScanSession* session) {
    g_interrupted.store(session);
    m_previousInt = std::signal(SIGINT, OnInterrupt);
    m_previousTerm = std::signal(SIGTERM, OnInterrupt);
}

InterruptEndsScan::~InterruptEndsScan() {
    std::signal(SIGINT, m_previousInt);
    std::signal(SIGTERM, m_previousTerm);
    g_interrupted.store(nullptr);
}

} // namespace quenlix
