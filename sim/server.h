// zorvisim's serving side: the pseudo-terminal, the PCIe socket, the request
// log and the event loop around the simulator core.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/line_pacer.h"
#include "core/options.h"
#include "core/simulator.h"

namespace zsim {

class Server {
public:
    explicit Server(const SimOptions& options);
    ~Server();  // not copied: the board is not

    /// Opens the pty, the socket and the log and loads the state.
    bool open(std::string& error);
    const std::string& port() const { return port_; }
    const std::string& socketPath() const { return socketPath_; }
    /// The TCP port of --pcie-tcp (0 when not listening on TCP).
    uint16_t tcpPort() const { return tcpPort_; }

    /// Serves until `stopFd` becomes readable; then returns.
    void serve(int stopFd);

private:
    struct Client {
        int fd = -1;
        std::vector<uint8_t> in;
    };

    void onPtyReadable();
    void hangUpLine();
    void onAccept(int listenFd);
    bool onClientReadable(Client& c);  // false: drop the client
    void logRequest(const std::vector<uint8_t>& request);
    void writePty(const std::vector<uint8_t>& bytes);
    void writePtyPaced(const std::vector<uint8_t>& bytes, uint64_t readyNs);
    /// Logs and answers requests from the pty; a paced reply starts when
    /// the request is through the line (`arrivedNs`).
    void answerLine(std::vector<Outgoing>& outs, std::vector<std::vector<uint8_t>>& requests, uint64_t arrivedNs);
    void sleepMs(uint32_t ms);
    void sleepUntilNs(uint64_t deadline);
    bool openSocket(std::string& error);
    bool openTcp(std::string& error);

    SimOptions options_;
    Simulator sim_;
    int master_ = -1;
    int slave_ = -1;
    int listen_ = -1;
    int listenTcp_ = -1;
    uint16_t tcpPort_ = 0;
    int log_ = -1;
    int stopFd_ = -1;
    std::string port_;
    std::string socketPath_;
    std::vector<Client> clients_;
    // --baud: each direction of the pty is a paced line.
    LinePacer lineIn_;
    LinePacer lineOut_;
};

}  // namespace zsim
