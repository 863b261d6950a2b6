// zorvisim's serving side: the pseudo-terminal, the PCIe socket, the request
// log and the event loop around the simulator core.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/simulator.h"

namespace zsim {

class Server {
public:
    explicit Server(const SimOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Opens the pty, the socket and the log and loads the state.
    bool open(std::string& error);
    const std::string& port() const { return port_; }
    const std::string& socketPath() const { return socketPath_; }

    /// Serves until `stopFd` becomes readable; then returns.
    void serve(int stopFd);

private:
    struct Client {
        int fd = -1;
        std::vector<uint8_t> in;
    };

    void onPtyReadable();
    void onAccept();
    bool onClientReadable(Client& c);  // false: drop the client
    void logRequest(const std::vector<uint8_t>& request);
    void writePty(const std::vector<uint8_t>& bytes);
    void sleepMs(uint32_t ms);
    bool openSocket(std::string& error);

    SimOptions options_;
    Simulator sim_;
    int master_ = -1;
    int slave_ = -1;
    int listen_ = -1;
    int log_ = -1;
    int stopFd_ = -1;
    std::string port_;
    std::string socketPath_;
    std::vector<Client> clients_;
};

}  // namespace zsim
