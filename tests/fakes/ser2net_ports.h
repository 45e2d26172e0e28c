// SPDX-License-Identifier: Apache-2.0
// One real ser2net serving several serial devices, each behind an RFC 2217 port of its own on
// 127.0.0.1, as a serial device server with many ports does.
#pragma once

#include <signal.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/ser2net_server.h"

namespace corvix::test {

class Ser2netPorts {
  public:
    explicit Ser2netPorts(const std::vector<std::string>& devices, const std::string& lineSettings = "57600n81") {
        char folder[] = "/tmp/corvix-ser2net-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        config_ = folder_ + "/ser2net.yaml";
        for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
            ports_.clear();
            std::ofstream config(config_);
            for (std::size_t i = 0; i < devices.size(); ++i) {
                int port = 0;
                do port = FreeTcpPort();
                while (std::find(ports_.begin(), ports_.end(), port) != ports_.end());
                ports_.push_back(port);
                config << "connection: &dev" << i << "\n"
                       << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
                       << "  connector: serialdev," << devices[i] << "," << lineSettings << ",local\n";
            }
            config.close();
            program_ = std::make_unique<Program>(Ser2netProgram(), std::vector<std::string>{"-n", "-d", "-c", config_});
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (program_->Started() && !program_->EndsWithin(0) && std::chrono::steady_clock::now() < deadline) {
                ok_ = true;
                for (int p : ports_) ok_ = ok_ && Listening(p);
                if (ok_) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    ~Ser2netPorts() {
        if (program_ && program_->Signal(SIGTERM)) program_->Wait(5000);
        if (!config_.empty()) ::unlink(config_.c_str());
        if (!folder_.empty()) ::rmdir(folder_.c_str());
    }
    Ser2netPorts(const Ser2netPorts&) = delete;
    Ser2netPorts& operator=(const Ser2netPorts&) = delete;

    bool Ok() const { return ok_; }
    std::string Name(std::size_t i) const { return "rfc2217://127.0.0.1:" + std::to_string(ports_.at(i)); }

  private:
    std::string folder_, config_;
    std::vector<int> ports_;
    bool ok_ = false;
    std::unique_ptr<Program> program_;
};

}  // namespace corvix::test
