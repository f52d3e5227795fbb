// Display texts of a result record, shared by the History window's table
// and the plain text that Copy Result puts on the clipboard. Stateless.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "results/result_record.h"

class ResultTexts {
public:
    ResultTexts() = delete;

    // The record's start time; invalid when started_at is not ISO 8601.
    static QDateTime startedAt(const ResultRecord& record);
    // Local time, "2025-06-01 14:34"; the stored text when it is not a time.
    static QString date(const ResultRecord& record);
    // "Single-core", "Multi-core", "Stability".
    static QString mode(const ResultRecord& record);
    // The whole-number score of a successful single- or multi-core result,
    // else "--" (a stability test has a verdict instead).
    static QString score(const ResultRecord& record);
    // "12.346 sec" (processor seconds of a series, wall seconds of a
    // multi-core run), "--" when it failed; a stability test's "m:ss".
    static QString time(const ResultRecord& record);
    static QString engine(const ResultRecord& record);
    // The CPU as the machine card shows it.
    static QString cpu(const ResultRecord& record);
    // "Verified", the error message, or the stability test's verdict.
    static QString verdict(const ResultRecord& record);

    // The result and the machine facts, one "Name: value" line each after a
    // title line, the facts as the machine card shows them.
    static QStringList plainTextLines(const ResultRecord& record);
};
