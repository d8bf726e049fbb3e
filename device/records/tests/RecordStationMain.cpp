// A stand-in for a provisioning station, for the tests that need several processes on one
// database file or one server, or one killed in the middle of its work. It appends sample
// records through the station's own store (and the forwarder, with --server), and says
// "appended N" on its output after each record is committed.
//
//   records_station --db FILE --station NAME (--count N | --forever) [--server URL]
//
// Exit codes: 0 done (with --server: every record on the server), 2 bad arguments, 3 the file
// refused, 4 an append failed, 5 the server did not take every record within two minutes.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/records/StationRecords.h"
#include "device/records/tests/RecordSamples.h"

using namespace quillon::records;

int main(int argc, char** argv) {
    std::string db;
    std::string station;
    std::string server;
    long count = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--forever") {
            count = 0;
        } else if (i + 1 == argc) {
            return 2;
        } else if (option == "--db") {
            db = argv[++i];
        } else if (option == "--station") {
            station = argv[++i];
        } else if (option == "--server") {
            server = argv[++i];
        } else if (option == "--count") {
            count = std::atol(argv[++i]);
        } else {
            return 2;
        }
    }
    if (db.empty() || station.empty() || count < 0) {
        std::fprintf(stderr,
                     "usage: records_station --db FILE --station NAME "
                     "(--count N | --forever) [--server URL]\n");
        return 2;
    }
    std::optional<RecordForwarder::Options> forwarding;
    if (!server.empty()) {
        forwarding.emplace();
        forwarding->ServerUrl = server;
        forwarding->FirstRetry = std::chrono::milliseconds(100);
        forwarding->LongestRetry = std::chrono::milliseconds(1000);
    }
    auto records = StationRecords::Open(db, forwarding);
    if (!records) {
        std::fprintf(stderr, "%s\n", records.Error().Message.c_str());
        return 3;
    }
    for (long number = 1; count == 0 || number <= count; ++number) {
        const auto sequence =
            (*records)->Append(test::SampleRecord(station, static_cast<int>(number)));
        if (!sequence) {
            std::fprintf(stderr, "%s\n", sequence.Error().Message.c_str());
            return 4;
        }
        std::printf("appended %lld\n", static_cast<long long>(*sequence));
        std::fflush(stdout);
    }
    if (RecordForwarder* forwarder = (*records)->Forwarder()) {
        if (!forwarder->WaitCaughtUp(std::chrono::minutes(2))) {
            std::fprintf(stderr, "not every record reached the server: %s\n",
                         forwarder->Status().Reason.c_str());
            return 5;
        }
    }
    return 0;
}
