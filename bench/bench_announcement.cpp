// The hostile announcement pages: how long the sanitiser takes with each, and how long
// the viewer takes to lay out and paint the sanitised copy (offscreen). The goal is well
// under a second for each page, end to end.

#include "net/htmlsanitizer.h"
#include "widgets/announcementview.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::string repeated(std::string_view part, int count) {
    std::string result;
    result.reserve(part.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        result += part;
    }
    return result;
}

std::vector<std::pair<std::string, std::string>> hostilePages() {
    std::string bigTable = "<table>";
    for (int row = 0; row < 700; ++row) {
        bigTable += "<tr>" + repeated("<td>x</td>", 1000) + "</tr>";
    }
    bigTable += "</table>";
    return {
        {"nested_tables_20000", repeated("<table><tr><td>t", 20000)},
        {"nested_divs_200000", repeated("<div>d", 200000)},
        {"nested_lists_100000", repeated("<ul><li>l", 100000)},
        {"table_700x1000", bigTable},
        {"word_1MiB", std::string(1024 * 1024, 'w')},
        {"links_200000", repeated("<a href=\"https://example.org/\">x", 200000)},
        {"paragraphs_200000", repeated("<p>x", 200000)},
    };
}

void sanitize(benchmark::State& state, const std::string& page) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(zorvane::net::sanitizeHtml(page));
    }
}

void render(benchmark::State& state, const std::string& page) {
    const QString html = QString::fromStdString(zorvane::net::sanitizeHtml(page));
    zorvane::app::AnnouncementViewer viewer;
    viewer.resize(792, 140);
    for (auto _ : state) {
        viewer.setHtml(html);
        benchmark::DoNotOptimize(viewer.document()->size());
        benchmark::DoNotOptimize(viewer.viewport()->grab());
        viewer.clear();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    for (const auto& [name, page] : hostilePages()) {
        benchmark::RegisterBenchmark(("sanitize/" + name).c_str(), sanitize, page)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("render/" + name).c_str(), render, page)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
