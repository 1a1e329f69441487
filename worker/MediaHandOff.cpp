#include "worker/MediaHandOff.h"

#include "plugin/Topics.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/FaultPoint.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"

namespace Lumora::MediaHandOff {

namespace {

using namespace MediaManagerInterface;

// Opens the inspector on a file and closes it again on every way out once it opened.
class InspectorSession {
public:
    InspectorSession(VSE::FileInspectorInterface *inspector, const QUrl &file) : m_inspector(inspector)
    {
        const QByteArray text = file.toString().toUtf8();
        m_open = inspector->open(VSE::AllocatedString<unsigned char>(
                     reinterpret_cast<const unsigned char *>(text.constData()), static_cast<int32_t>(text.size()))) == 0;
    }
    ~InspectorSession()
    {
        if (m_open)
            m_inspector->close();
    }
    InspectorSession(const InspectorSession &) = delete;
    InspectorSession &operator=(const InspectorSession &) = delete;
    bool isOpen() const { return m_open; }

private:
    VSE::FileInspectorInterface *m_inspector;
    bool m_open = false;
};

void registerVideo(MediaManager *library, QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure)
{
    lmtl::RefCountedPtr<VideoFileInterface> video;
    if (library->addVideoFile(item, fileMeasure, trackMeasure, video.receive()) && video) {
        if (video->commit())
            HubTopics::sendId(HubTopics::MediaItemAdded, video->id());
        return;
    }
    // The library knows the file already: bring its picture size up to date.
    lmtl::RefCountedPtr<MediaFileInterface> media;
    if (!library->findMediaFile(item->fileUrl(), media.receive()) || !media)
        return;
    auto *known = dynamic_cast<VideoFileInterface *>(media.get());
    if (!known)
        return;
    known->setTrackInfo(static_cast<int32_t>(trackMeasure & 0xffffffffu), static_cast<int32_t>(trackMeasure >> 32));
    HubTopics::sendId(HubTopics::MediaItemChanged, known->id());
}

} // namespace

Result handOff(const Inputs &in, FailureReason *why)
{
    const QUrl targetUrl = in.item->fileUrl();
    const QString target = targetUrl.toLocalFile();
    const auto fail = [&](FailureKind kind) {
        if (why)
            *why = FailureReason::of(kind, target);
        return Result::Failed;
    };
    if (!in.alreadyPlaced && !FilePlacement::moveFile(in.outputPath, target, in.placement))
        return fail(FailureKind::TargetUnplaceable);
    LUMORA_FAULT_POINT("finish.placed");

    VSE::PluginInterfaceHandle libraryV2(VSE::InterfaceNames::mediaManagerV2());
    if (libraryV2.acquire(in.context) != VSE::PluginOk)
        return fail(FailureKind::LibraryRefused);
    FileAcceptor *acceptor = libraryV2.as<MediaManagerV2>()->fileAcceptor();
    if (!acceptor || !acceptor->acceptFile(QUrl::fromLocalFile(target)))
        return fail(FailureKind::LibraryRefused);
    LUMORA_FAULT_POINT("finish.accepted");
    VSE::PluginInterfaceHandle library(VSE::InterfaceNames::mediaManager());
    if (library.acquire(in.context) != VSE::PluginOk)
        return fail(FailureKind::LibraryRefused);

    if (!in.inspector)
        return Result::Completed;
    {
        InspectorSession session(in.inspector, QUrl::fromLocalFile(target));
        if (!session.isOpen())
            return Result::Completed;
        uint64_t fileMeasure = 0;
        uint64_t trackMeasure = 0;
        if (in.inspector->queryFileMeasure(&fileMeasure) == 0 && in.inspector->queryTrackMeasure(0, &trackMeasure) == 0)
            registerVideo(library.as<MediaManager>(), in.item, fileMeasure, trackMeasure);
    }
    LUMORA_FAULT_POINT("finish.entered");
    if (in.manager)
        in.manager->setDownloadFlag(in.item, PlayableFlag);
    return Result::Completed;
}

} // namespace Lumora::MediaHandOff
