#pragma once
// A basket's pages written on the calling thread through the page pipeline, as the window's save
// and append do on a worker.
#include "basket/BasketPageSource.h"
#include "basket/PageSinks.h"
#include "pages/PagePipeline.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace tf::bench {

// True once the output is in its place.
inline bool writePagesHere(const std::vector<basket::PageRecord>& pages, std::unique_ptr<PageSink> sink,
                           int16_t colorFormat, int16_t tiffCompression)
{
    PipelineSettings settings;
    settings.colorFormat = colorFormat;
    settings.tiffCompression = tiffCompression;
    PagePipeline pipeline(std::make_unique<BasketPageSource>(pages), std::move(sink), std::move(settings));
    const PipelineResult result = pipeline.runHere();
    if (!result.failure.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(result.failure));
    return result.committed && result.failure.isEmpty();
}

} // namespace tf::bench
