#include "result_texts.h"

#include "sysinfo/result_formatter.h"

namespace {

QString qs(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool hasScore(const ResultRecord& record)
{
    return record.success && record.mode != ResultMode::stress;
}

}  // namespace

QDateTime ResultTexts::startedAt(const ResultRecord& record)
{
    return QDateTime::fromString(qs(record.started_at), Qt::ISODate);
}

QString ResultTexts::date(const ResultRecord& record)
{
    const QDateTime at = startedAt(record);
    return at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : qs(record.started_at);
}

QString ResultTexts::mode(const ResultRecord& record)
{
    switch (record.mode) {
    case ResultMode::single:
        return QStringLiteral("Single-core");
    case ResultMode::multi:
        return QStringLiteral("Multi-core");
    case ResultMode::stress:
        return QStringLiteral("Stability");
    }
    return QString::fromLatin1(result_mode_name(record.mode));
}

QString ResultTexts::score(const ResultRecord& record)
{
    return hasScore(record) ? QString::number(record.score, 'f', 0) : QStringLiteral("--");
}

QString ResultTexts::time(const ResultRecord& record)
{
    if (record.mode == ResultMode::stress)
        return qs(result_duration_text(record.elapsed_time));
    return record.success ? QStringLiteral("%1 sec").arg(record.elapsed_time, 0, 'f', 3) : QStringLiteral("--");
}

QString ResultTexts::engine(const ResultRecord& record)
{
    return qs(result_engine_text(record.engine));
}

QString ResultTexts::cpu(const ResultRecord& record)
{
    return qs(ResultFormatter::formatCPU(result_machine_to_system_info(record.system)));
}

QString ResultTexts::verdict(const ResultRecord& record)
{
    const std::string verdict = result_verdict(record);
    // As the main view words a failure without a message.
    return verdict.empty() ? QStringLiteral("The benchmark failed") : qs(verdict);
}

QStringList ResultTexts::plainTextLines(const ResultRecord& record)
{
    const SystemInfo info = result_machine_to_system_info(record.system);
    const QDateTime at = startedAt(record);
    QStringList lines;
    lines << QStringLiteral("Numera %1, %2 benchmark").arg(qs(record.version), mode(record).toLower());
    if (record.mode == ResultMode::stress)
        lines.last() = QStringLiteral("Numera %1, stability test").arg(qs(record.version));
    lines << QStringLiteral("Date: %1").arg(
        at.isValid() ? at.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")) : qs(record.started_at));
    if (record.mode != ResultMode::stress)
        lines << QStringLiteral("Score: %1").arg(score(record));
    lines << QStringLiteral("Time: %1").arg(time(record));
    lines << QStringLiteral("Verdict: %1").arg(verdict(record));
    lines << QStringLiteral("Engine: %1").arg(engine(record));
    lines << QStringLiteral("CPU: %1").arg(qs(ResultFormatter::formatCPU(info)));
    lines << QStringLiteral("Cores: %1").arg(qs(ResultFormatter::formatCores(info)));
    if (const auto frequency = ResultFormatter::formatFrequency(info))
        lines << QStringLiteral("Frequency: %1").arg(qs(*frequency));
    lines << QStringLiteral("Memory: %1").arg(qs(ResultFormatter::formatMemory(info)));
    lines << QStringLiteral("OS: %1").arg(qs(ResultFormatter::formatOS(info)));
    lines << QStringLiteral("Architecture: %1").arg(qs(ResultFormatter::formatArchitecture(info)));
    return lines;
}
