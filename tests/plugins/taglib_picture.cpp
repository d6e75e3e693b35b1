// Writes the front cover TagLib reads from a FLAC, Ogg Vorbis or WMA file to
// OUT and prints its MIME type: taglib_picture FILE OUT. Exit 1 when TagLib
// finds no picture.
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/vorbisfile.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

int Save(const TagLib::ByteVector& data, const TagLib::String& mime, const char* out) {
    std::ofstream(out, std::ios::binary).write(data.data(), data.size());
    std::printf("%s\n", mime.to8Bit(true).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string path = argv[1];
    if (path.ends_with(".flac")) {
        TagLib::FLAC::File file(argv[1]);
        for (const auto* picture : file.pictureList()) {
            if (picture->type() == TagLib::FLAC::Picture::FrontCover)
                return Save(picture->data(), picture->mimeType(), argv[2]);
        }
    } else if (path.ends_with(".ogg")) {
        TagLib::Ogg::Vorbis::File file(argv[1]);
        for (const auto* picture :
             file.tag() != nullptr ? file.tag()->pictureList() : TagLib::List<TagLib::FLAC::Picture*>()) {
            if (picture->type() == TagLib::FLAC::Picture::FrontCover)
                return Save(picture->data(), picture->mimeType(), argv[2]);
        }
    } else if (path.ends_with(".wma")) {
        TagLib::ASF::File file(argv[1]);
        const auto& attributes = file.tag() != nullptr ? file.tag()->attributeListMap()
                                                       : TagLib::ASF::AttributeListMap();
        if (attributes.contains("WM/Picture")) {
            for (const auto& attribute : attributes["WM/Picture"]) {
                const TagLib::ASF::Picture picture = attribute.toPicture();
                if (picture.isValid() && picture.type() == TagLib::ASF::Picture::FrontCover) {
                    return Save(picture.picture(), picture.mimeType(), argv[2]);
                }
            }
        }
    }
    return 1;
}
