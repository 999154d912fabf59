#pragma once
// Every time-out and pause of a job in milliseconds. The defaults are the
// values the phone's boot ROM and RAM loader are built for; tests shrink them.
namespace velmora {

// How often a front end that asks for it is told that the job still waits for
// the phone.
inline constexpr int kPhoneNoticeMs = 10000;

struct JobTimings {
    int ack_ms = 1000;           // an 'O' acknowledgement (boot ROM, RAM loader) or the 'D' echo
    int boot_answer_ms = 2000;   // fixed-size boot ROM answers ('P', 'Q', 'G')
    int write_ms = 2000;         // completion of one write on the serial port
    int loader_start_ms = 1500;  // the RAM loader's start-up byte 0xBE
    int baud_pause_ms = 500;     // after the baud-rate frame, before the host switches
    int settle_ms = 300;         // after the loader's line format is set
    int response_ms = 3000;      // a 64-byte response frame or a data phase of the RAM loader
    int usb_response_ms = 5000;  // the longer USB answers (write pages, Init SDI)
    int retry_pause_ms = 200;    // between retries of a failed block read or write
    // After a wait that timed out, the line is read and dropped until it has been
    // quiet this long before the next command; after a step that was asked again,
    // a byte within this long (plus the step's chip time) means a second answer.
    // Far longer than any gap inside one answer (a byte at 115200 takes 87 µs, a
    // USB serial adapter holds bytes up to its 16 ms latency timer, the loader
    // sends a page's data right after its frame) and than a loader's turnaround
    // to a command that needs no chip time; it is spent only after a time-out or
    // a retry.
    int quiet_ms = 100;
    // The wait for the phone to announce itself (serial) or its DFU device to
    // appear (USB): 0 waits until Stop; otherwise the job ends with −1 after it.
    int phone_wait_ms = 0;
    // A status line every so often while the phone is awaited (0: none).
    int phone_notice_ms = 0;
};

}  // namespace velmora
