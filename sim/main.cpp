// velmora-phone-sim: a simulated phone behind a pseudo-terminal (or --count N
// of them, one port each). Prints the port path for the host, then serves one
// job after another until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/phone.h"
#include "sim/usb_serve.h"
#include "velmora_version.h"

int main(int argc, char** argv) {
    using namespace velmora::sim;
    CLI::App app{
        "velmora-phone-sim: a simulated phone (boot ROM, RAM loader, NAND chip) behind a "
        "pseudo-terminal.\nPoint the host at the printed port, e.g. velmora-cli upgrade --ptt F "
        "--port /dev/pts/N.\nFault SPEC: CMD[@BLOCK[.PAGE]][#NTH][:VALUE], several joined by '+' "
        "(e.g. --drop 8#2 --status 10@5:3 --late 13@0.1:6000); PAGE names a page of a page read "
        "(13) or write (8); without #NTH every matching command is hit, except by --late, which "
        "hits once unless the SPEC ends in '*'."};
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
    for (const auto& spec : OptionSpecs()) {
        const std::string option = std::string("--") + spec.name;
        if (spec.value == nullptr) {
            app.add_flag(option, flags[spec.name], spec.help);
        } else {
            app.add_option(option, values[spec.name], spec.help)->type_name(spec.value);
        }
    }
    std::string usb_socket, usb_options;
    app.add_option("--usb", usb_socket, "serve a USB stand-in bus at this socket instead of a pty")
        ->type_name("SOCKET");
    app.add_option("--usb-options", usb_options,
                   "USB behaviour: app, stay-app, dfu-error[=stuck], not-tolerant, busy=N, "
                   "busy-ms=N, manifest-ms=N, notdone=LETTERS, pull=N, mute, no-loader, "
                   "enum-ms=N, busy-twin, corrupt=N, renum, deny=access|busy, "
                   "deny-dlv=access|busy, packet=N")
        ->type_name("LIST");
    int count = 1;
    app.add_option("--count", count,
                   "serve N phones, each on its own port (one line per port on stdout, "
                   "\"N PATH\"); --link, --nand and --trace get \"-N\" appended per phone")
        ->type_name("N")
        ->check(CLI::Range(1, 64));
    app.set_version_flag("--version", std::string("velmora-phone-sim ") + velmora::kVersion,
                         "print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; every refused command line with 2, as a
        // refused option value does below.
        return app.exit(e) == 0 ? 0 : 2;
    }

    PhoneOptions options;
    std::string error;
    for (const auto& spec : OptionSpecs()) {
        const std::string option = std::string("--") + spec.name;
        if (app.count(option) == 0) {
            continue;
        }
        if (!ApplyOption(spec.name, spec.value ? values[spec.name] : std::string(), options,
                         error)) {
            std::cerr << "velmora-phone-sim: " << error << '\n';
            return 2;
        }
    }
    if (!options.auto_power) {
        std::cerr << "velmora-phone-sim: --manual needs the in-process API; ignored\n";
        options.auto_power = true;
    }

    // Signals are taken by sigwait below, not by the phone's thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (!usb_socket.empty()) {
        return ServeUsbPhone(options, usb_socket, usb_options, signals);
    }
    if (count > 1 && !usb_socket.empty()) {
        std::cerr << "velmora-phone-sim: --count serves serial phones; start one USB stand-in "
                     "per phone\n";
        return 2;
    }
    // Each phone its own port, chip file, trace and link: "-N" after the name.
    std::vector<std::unique_ptr<Phone>> phones;
    for (int n = 1; n <= count; ++n) {
        PhoneOptions own = options;
        if (count > 1) {
            const std::string suffix = "-" + std::to_string(n);
            for (std::string* name : {&own.link, &own.nand_file, &own.trace_file}) {
                if (!name->empty()) {
                    *name += suffix;
                }
            }
        }
        auto phone = std::make_unique<Phone>(own);
        phone->SetPortCallback([n, count](const std::string& path) {
            if (count > 1) {
                std::cout << n << ' ' << path << std::endl;
            } else {
                std::cout << path << std::endl;
            }
        });
        if (!phone->Start(&error)) {
            std::cerr << "velmora-phone-sim: " << error << '\n';
            return 1;
        }
        const auto& g = phone->chip().geometry;
        const auto& id = phone->chip().id;
        std::fprintf(stderr,
                     "velmora-phone-sim: chip %02X,%02X,%02X,%02X: %d blocks of %d bytes, pages "
                     "of %d + %d bytes%s; serving on %s%s%s\n",
                     id[0], id[1], id[2], id[3], g.block_count, g.block_size, g.page_size,
                     g.spare_size, own.pace ? ", paced" : "", phone->SlavePath().c_str(),
                     own.link.empty() ? "" : " as ", own.link.c_str());
        phones.push_back(std::move(phone));
    }
    int signal = 0;
    sigwait(&signals, &signal);
    int sessions = 0;
    for (auto& phone : phones) {
        phone->Stop();
        sessions += phone->sessions();
    }
    std::fprintf(stderr, "velmora-phone-sim: stopped after %d sessions\n", sessions);
    return 0;
}
