#include "capture/capture_settings.h"

namespace tabvoro::capture {

std::optional<KeywordMode> keywordModeFromCaption(const std::string &caption)
{
    for (int i = 0; i < 3; ++i)
        if (caption == kKeywordModeCaptions[i])
            return static_cast<KeywordMode>(i);
    return std::nullopt;
}

const char *keywordModeCaption(KeywordMode mode)
{
    return kKeywordModeCaptions[static_cast<int>(mode)];
}

std::string nextKeywordModeCaption(const std::string &caption)
{
    const auto mode = keywordModeFromCaption(caption);
    if (mode == KeywordMode::FirstRowPrefix)
        return kKeywordModeCaptions[1];
    if (mode == KeywordMode::CommonText)
        return kKeywordModeCaptions[2];
    return kKeywordModeCaptions[0];
}

std::string pagerRowText(const CaptureSettings &settings)
{
    return settings.nextPageText.empty() ? std::string("下一页") : settings.nextPageText;
}

}  // namespace tabvoro::capture
