#include "Platform/Thumbnail/Thumbnailing.hpp"

namespace dv::ql {

std::shared_ptr<const ThumbnailReply> ThumbnailReply::replyWithContextSize(Size contextSize, DrawingBlock block) {
    return std::shared_ptr<const ThumbnailReply>(new ThumbnailReply(contextSize, std::move(block)));
}

}  // namespace dv::ql
