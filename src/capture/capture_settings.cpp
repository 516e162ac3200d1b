#include "capture/capture_settings.h"

namespace tabvoro::capture {

KeywordMode nextKeywordMode(KeywordMode mode)
{
    switch (mode) {
    case KeywordMode::FirstRowPrefix:
        return KeywordMode::CommonText;
    case KeywordMode::CommonText:
        return KeywordMode::Position;
    case KeywordMode::Position:
        break;
    }
    return KeywordMode::FirstRowPrefix;
}

std::string pagerRowText(const CaptureSettings &settings)
{
    return settings.nextPageText.empty() ? std::string("下一页") : settings.nextPageText;
}

}  // namespace tabvoro::capture
