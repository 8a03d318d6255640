#include "records/FirmFileData.h"

#include "records/FirmwareImageLayout.h"
#include "records/Util.h"

void FirmFileData::readHeaderOfResource(std::string_view fileName) {
    auto handle = Util::openFile(fileName);
    if (!handle) {
        return;
    }
    using namespace FirmwareImageLayout;
    setIsFileExists(true);
    setProduct(Util::readFileWithUTF8String(handle.get(), kProduct.offset, kProduct.length));
    setRevision(Util::readFileWithUTF8String(handle.get(), kRevision.offset, kRevision.length));
    setDate(Util::readFileWithUTF8String(handle.get(), kDate.offset, kDate.length));
    setHard_version(
        Util::readFileWithUTF8String(handle.get(), kHardVersion.offset, kHardVersion.length));
    setKrnl_version(
        Util::readFileWithUTF8String(handle.get(), kKernelVersion.offset, kKernelVersion.length));
    setDest_version(
        Util::readFileWithUTF8String(handle.get(), kDestVersion.offset, kDestVersion.length));
    Util::closeFile(handle);
}
