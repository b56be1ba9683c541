// The loopback addresses the library's suites give their boards. Each test
// that starts a board (or a listener standing in for one) owns one address,
// so suites running side by side never meet; the enum keeps them distinct.
// Taken elsewhere: 127.0.0.160-179 swathprint, 180-199 the Windows suites,
// 200-250 the emulator's own tests, 251-254 the install check
// (scripts/test-install.sh); 127.0.0.1 is always the PC. Addresses kept free
// for more cases are named beside the entries they follow.
#pragma once

#include <cstdint>
#include <string>

namespace sl::test {

enum TestAddress : uint8_t {
    // tests/link
    kAddrLocalCheckBoard = 10,
    kAddrLinkCommands = 11,
    kAddrLinkNoBoard = 12,
    kAddrLinkCloseWakesReceive = 13,
    kAddrLinkOneReconnection = 14,
    kAddrLinkReconnectionEnds = 15,
    // tests/e2e link jobs
    kAddrLinkJobWhole = 30,
    kAddrLinkJobHeartbeat = 31,
    kAddrLinkJobPause = 32,
    kAddrLinkJobAbort = 33,
    kAddrLinkJobAbortWhilePaused = 34,
    // tests/printers: two boards at once
    kAddrTwoPrintersFirst = 35,    // and 36
    kAddrLinkJobFaultsFirst = 40,  // one per fault case, up to 49
    kAddrLinkJobRefusals = 50,
    kAddrLinkJobPrinterStopsFirst = 51,  // one per stop case, up to 54
    kAddrLinkJobRejectedBlock = 55,
    kAddrLinkJobNoBoard = 56,
    // tests/e2e whole jobs through the entry points
    kAddrJobWhole = 60,
    kAddrJobPauseContinueAbort = 61,
    kAddrJobCompanionRequests = 62,
    kAddrJobLinkFaults = 63,
    kAddrJobPrinterStopsFirst = 64,  // one per stop case, up to 66
    kAddrJobWithoutBoard = 67,       // no board listens there
    // tests/e2e bad input
    kAddrBadInputLimits = 90,
    kAddrBadInputNonsenseRecords = 91,
    kAddrBadInputLineShapes = 92,
    kAddrBadInputAfterTheJob = 93,
    kAddrBadInputAfterAStoppedJob = 94,
    // tests/soak
    kAddrSoak = 96,
    // tests/e2e aborts
    kAddrAbortMomentsFirst = 100,  // one per moment and way of closing, up to 109
    kAddrAbortDuringReconnection = 110,
    kAddrAbortNeverConfirmed = 111,
    kAddrAbortReleasesCloseFirst = 112,  // one per case, up to 113
    // tests/roundtrip: the long-job feed table
    kAddrRoundTripFeedFirst = 114,  // one per YDPI, up to 119
    // tests/e2e late answers
    kAddrLateAnswersFirst = 120,  // one per case, up to 123
    kAddrLateJobCreateAnswer = 125,
    // tests/roundtrip: its tables number their boards from the first on
    kAddrRoundTripFirst = 128,
    kAddrRoundTripLast = 159,
    // tests/e2e entry points
    kAddrSecondStartPrint = 70,
    kAddrOnePassJobEnd = 71,
    kAddrOneLinePerCall = 72,
    kAddrSeveralLinesPerCall = 73,
    kAddrOneBitDots = 74,
    kAddrOneBitDotsNarrow = 75,
    kAddrJobTooWide = 76,
    kAddrSilentBoard = 77,  // also an address the PC does not hold
    kAddrLinesAfterFatalHandOff = 78,
    // tests/faults: one per fault; 28-29 and 80-89 are kept for more faults
    kAddrFaultDropMidData = 16,
    kAddrFaultDropBetweenPackets = 17,
    kAddrFaultLostAnswers = 18,
    kAddrFaultSilentBoard = 19,
    kAddrFaultLateAnswers = 20,
    kAddrFaultRefusals = 21,
    kAddrFaultRefusedConnections = 22,
    kAddrFaultPrinterCancel = 23,
    kAddrFaultSequenceError = 24,
    kAddrFaultDamagedBlock = 25,
    kAddrFaultTooWide = 26,
    kAddrFaultExtraAnswers = 27,
};

inline std::string TestIp(uint32_t octet) { return "127.0.0." + std::to_string(octet); }

}  // namespace sl::test
