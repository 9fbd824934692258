// The exporter's pure parts: the text a probe answers (escaping, nothing
// that looks like data for a hub that is down), the exporter's histogram,
// the target and time-out a scrape asks for, and the workers' answers.
#include "exporter/ProbeMetrics.h"
#include "exporter/ProbeRequest.h"

#include <gtest/gtest.h>

using namespace vexal::exporter;
using vexal::client::ELinkState;
using vexal::client::SHubStatus;

TEST(ExporterFormat, AHubUpGivesEachSeriesWithItsLabelsEscaped) {
    SHubStatus status;
    status.strModel = "VX-H400_VXL \"lab\\2\"\nB";
    status.strFirmware = "2.10.3";
    status.vecDevices = {{10, "5a4d", "0e28", ""}, {40, "1234", "abcd", "msr"}, {77, "", "", ""}};
    status.vecPrinters = {{10, vexal::model::CStatusRecord{0x18, 0x00, 0x0f, 0x00}},
                          {11, vexal::model::CStatusRecord{0x10, 0x00, 0x00, 0x00}},
                          {12, std::nullopt}};
    EXPECT_EQ(FormatHubMetrics(&status) + FormatProbeDuration(0.25),
              "# HELP vexal_hub_up 1 when the hub answered the probe and its link is on-line, else 0.\n"
              "# TYPE vexal_hub_up gauge\n"
              "vexal_hub_up 1\n"
              "# HELP vexal_hub_info The hub's model name and firmware version, as labels.\n"
              "# TYPE vexal_hub_info gauge\n"
              "vexal_hub_info{model=\"VX-H400_VXL \\\"lab\\\\2\\\"\\nB\",firmware=\"2.10.3\"} 1\n"
              "# HELP vexal_device_present 1 for each device the hub reports present, with its USB identifiers "
              "and custom type.\n"
              "# TYPE vexal_device_present gauge\n"
              "vexal_device_present{id=\"10\",vid=\"5a4d\",pid=\"0e28\",type=\"\"} 1\n"
              "vexal_device_present{id=\"40\",vid=\"1234\",pid=\"abcd\",type=\"msr\"} 1\n"
              "vexal_device_present{id=\"77\",vid=\"\",pid=\"\",type=\"\"} 1\n"
              "# HELP vexal_printer_reason 1 for each reason of a printer's latest status record (none: in good "
              "order).\n"
              "# TYPE vexal_printer_reason gauge\n"
              "vexal_printer_reason{id=\"10\",reason=\"offline-report\"} 1\n"
              "vexal_printer_reason{id=\"10\",reason=\"media-low\"} 1\n"
              "vexal_printer_reason{id=\"10\",reason=\"media-empty\"} 1\n"
              "vexal_printer_reason{id=\"11\",reason=\"none\"} 1\n"
              "# HELP vexal_probe_duration_seconds How long the probe took, in seconds.\n"
              "# TYPE vexal_probe_duration_seconds gauge\n"
              "vexal_probe_duration_seconds 0.25\n");
    // UTF-8 passes as it is; only the three escapes change a value.
    EXPECT_EQ(EscapeLabelValue("Caf\xc3\xa9\t\\n"), "Caf\xc3\xa9\t\\\\n");
}

TEST(ExporterFormat, AHubDownOrOffLineGivesUpZeroAndNoOtherSeries) {
    const std::string strDown =
        "# HELP vexal_hub_up 1 when the hub answered the probe and its link is on-line, else 0.\n"
        "# TYPE vexal_hub_up gauge\n"
        "vexal_hub_up 0\n";
    EXPECT_EQ(FormatHubMetrics(nullptr), strDown);
    SHubStatus status;
    status.strModel = "VX-H400_VXL";
    status.eLink = ELinkState::Offline;
    status.vecDevices = {{10, "5a4d", "0e28", ""}};
    status.vecPrinters = {{10, vexal::model::CStatusRecord{0x10, 0, 0, 0}}};
    EXPECT_EQ(FormatHubMetrics(&status), strDown);
    // A hub with nothing behind it has no device or printer family at all.
    status.eLink = ELinkState::Online;
    status.vecDevices.clear();
    status.vecPrinters.clear();
    const std::string strBare = FormatHubMetrics(&status);
    EXPECT_NE(strBare.find("vexal_hub_info{"), std::string::npos);
    EXPECT_EQ(strBare.find("vexal_device_present"), std::string::npos);
    EXPECT_EQ(strBare.find("vexal_printer_reason"), std::string::npos);
    EXPECT_EQ(FormatProbeDuration(1.0 / 3).substr(FormatProbeDuration(1.0 / 3).rfind(' ') + 1), "0.3333333333333333\n");
}

TEST(ExporterFormat, TheExporterHistogramIsCumulativeAndEndsAtItsCount) {
    SExporterFigures f;
    f.nProbes = 5;
    f.nFailures = 1;
    f.nMaxProbes = 64;
    f.nBucketCounts = {1, 2, 3, 3, 4, 4, 4, 4};
    f.dDurationSum = 4.5;
    const std::string strText = FormatExporterMetrics(f);
    EXPECT_NE(strText.find("vexal_exporter_probe_duration_seconds_bucket{le=\"0.25\"} 2\n"), std::string::npos);
    EXPECT_NE(strText.find("vexal_exporter_probe_duration_seconds_bucket{le=\"2.5\"} 4\n"), std::string::npos);
    EXPECT_NE(strText.find("vexal_exporter_probe_duration_seconds_bucket{le=\"+Inf\"} 5\n"
                           "vexal_exporter_probe_duration_seconds_sum 4.5\n"
                           "vexal_exporter_probe_duration_seconds_count 5\n"),
              std::string::npos);
    EXPECT_NE(strText.find("\nvexal_exporter_probe_failures_total 1\n"), std::string::npos);
    EXPECT_NE(strText.find("\nvexal_exporter_max_probes 64\n"), std::string::npos);
}

TEST(ExporterRequest, TargetsAndTimeOutsAreTakenOrRefusedWithAReason) {
    std::string strError;
    EXPECT_EQ(ParseProbeTarget("10.0.0.5", strError)->strPortText, "10.0.0.5:9100");
    EXPECT_EQ(ParseProbeTarget("10.0.0.5:9101", strError)->strPortText, "10.0.0.5:9101");
    for (const char* pszBad : {"hub.local", "10.0.0.5:0", "10.0.0.5:70000", "10.0.0.5:1:2", "10.0.0.256", ":9100"}) {
        strError.clear();
        EXPECT_FALSE(ParseProbeTarget(pszBad, strError)) << pszBad;
        EXPECT_EQ(strError.rfind("target: '", 0), 0u) << strError;
    }
    EXPECT_FALSE(ParseProbeTarget(std::nullopt, strError));
    EXPECT_NE(strError.find("missing"), std::string::npos);
    EXPECT_FALSE(ParseProbeTarget("", strError));
    EXPECT_FALSE(ParseProbeTarget(std::string("10.0.0.5\0:9100", 14), strError));
    EXPECT_EQ(strError, "target: holds a NUL byte");

    // The scrape's time-out, capped by --timeout, less a margin of a tenth (50 ms to 500 ms).
    EXPECT_EQ(ProbeBudgetMs(std::nullopt, 10, strError), 9500u);
    EXPECT_EQ(ProbeBudgetMs("1", 10, strError), 900u);
    EXPECT_EQ(ProbeBudgetMs("0.2", 10, strError), 150u);
    EXPECT_EQ(ProbeBudgetMs("30", 2, strError), 1800u);
    for (const std::string& strBad :
         std::vector<std::string>{"", "abc", "0", "-1", "nan", "inf", "1s", " 1", std::string("1\0", 2)}) {
        strError.clear();
        EXPECT_FALSE(ProbeBudgetMs(strBad, 10, strError)) << strBad;
        EXPECT_NE(strError.find("X-Prometheus-Scrape-Timeout-Seconds"), std::string::npos);
    }

    EXPECT_EQ(ParseListen("127.0.0.1", strError)->nPort, kDefaultListenPort);
    EXPECT_EQ(ParseListen("0.0.0.0:0", strError)->nPort, 0);
    EXPECT_FALSE(ParseListen("localhost:9817", strError));
    EXPECT_FALSE(ParseListen("127.0.0.1:65536", strError));
    EXPECT_FALSE(ParseListen("127.0.0.1:", strError));
}

TEST(ExporterRequest, AWorkersAnswerIsWholeOnlyWithAllItsBytes) {
    const std::string strAnswer = EncodeWorkerAnswer(true, "vexal_hub_up 1\n");
    SWorkerAnswer answer;
    for (size_t n = 0; n < strAnswer.size(); ++n)
        EXPECT_EQ(DecodeWorkerAnswer(std::string_view(strAnswer).substr(0, n), answer), EAnswer::Incomplete) << n;
    ASSERT_EQ(DecodeWorkerAnswer(strAnswer, answer), EAnswer::Complete);
    EXPECT_TRUE(answer.bUp);
    EXPECT_EQ(answer.strBody, "vexal_hub_up 1\n");
    ASSERT_EQ(DecodeWorkerAnswer(EncodeWorkerAnswer(false, ""), answer), EAnswer::Complete);
    EXPECT_FALSE(answer.bUp);
    for (const char* pszBad : {"UP 3\nabcd", "MAYBE 1\nx", "UP\nx", "UP -1\n", "UP 99999999999\n", "UP 1x\nx"})
        EXPECT_EQ(DecodeWorkerAnswer(pszBad, answer), EAnswer::Bad) << pszBad;
    EXPECT_EQ(DecodeWorkerAnswer(std::string(64, 'U'), answer), EAnswer::Bad);
}
