// The quit-signal handlers and the process's script interrupt.
#include "QzQuitSignals.h"

#include <csignal>

#include <unistd.h>

namespace {

std::atomic<int> quitSignal{0};

void onQuitSignal(int signal) {
    int none = 0;
    if (!quitSignal.compare_exchange_strong(none, signal)) _exit(128 + signal);
    QzPlayerInterrupt().request("the player is quitting");
}

}  // namespace

QzScriptInterrupt& QzPlayerInterrupt() {
    static QzScriptInterrupt interrupt;
    return interrupt;
}

void QzHandleQuitSignals() {
    QzPlayerInterrupt();  // made now, not first inside a handler
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int QzQuitSignal() { return quitSignal.load(); }
