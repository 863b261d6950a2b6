// A board's readings in the text format that Prometheus scrapes (and that
// node_exporter's textfile collector reads from *.prom files). Pure: the
// readings come in as the decoded records of the reading verbs, the text
// goes out; nothing here talks to the board or to files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "boardinfo/sensors.h"
#include "boardinfo/vpd_record.h"

/// What one scrape of a board found. Parts that were not read stay empty; a
/// scrape that failed still gives `up` 0 and its duration.
struct MetricsScrape {
    bool up = false;
    std::optional<VpdRecord> vpd;  ///< the board's identity
    std::string firmware;          ///< the firmware's version text
    std::optional<SensorPage> sensors;
    std::optional<uint32_t> blackBoxRecords;  ///< records that are not erased
    std::optional<bool> powerOn;              ///< the board's main power, where the firmware tells it
    double durationSeconds = 0;
    /// The board label when there is no VPD record (it could not be read);
    /// see boardLabelIn.
    std::string fallbackBoard;
    /// Why a failed scrape failed, a snake_case word ("no_reply",
    /// "service_mode", "port_busy", ...); empty when it did not fail.
    std::string failure;
    /// The firmware the uC runs (true: service mode), when the link opened.
    std::optional<bool> serviceMode;
    /// Unix time of the last scrape that succeeded: this one, or the one the
    /// replaced file reported.
    std::optional<double> lastSuccessSeconds;
    /// The link that reached the board ("-usbcom /dev/serial/by-id/..."),
    /// written as a comment so that a later scrape that cannot read the
    /// board's serial finds its file; empty: none.
    std::string link;
};

struct MetricsText {
    std::string text;
    uint32_t series = 0;  ///< sample lines in `text`
};

/// The exposition text of a scrape: every family with HELP and TYPE lines,
/// every series labelled board="<serial number>". A failed scrape (`up`
/// false) gives zorvi_up 0, its reason, the uC's mode when known, the
/// scrape duration and the last success carried over.
MetricsText formatMetrics(const MetricsScrape& scrape);

/// The board label of the zorvi_up series in an earlier metrics text, or ""
/// when there is none: a scrape that could not read the VPD keeps the label
/// of the board last seen, so its series go to 0 instead of starting anew.
std::string boardLabelIn(const std::string& text);

/// The zorvi_last_success_timestamp_seconds value of an earlier metrics
/// text, carried over by a scrape that fails.
std::optional<double> lastSuccessIn(const std::string& text);

/// The link comment of an earlier metrics text, or "".
std::string linkIn(const std::string& text);

/// A label value escaped for the exposition format (\\, \" and \n).
std::string escapeLabelValue(const std::string& value);
