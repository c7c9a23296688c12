// Mapping a PE32 image: headers and sections at their RVAs, base relocations, exports, imports
// bound to the shim, and the static TLS block of its TLS directory.
#include "shim.h"

#include <unicorn/unicorn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace pe32;

namespace {

struct Reader {
    const std::vector<uint8_t>& bytes;
    const std::string& path;

    uint32_t u32(size_t offset) const {
        need(offset, 4);
        uint32_t v;
        std::memcpy(&v, &bytes[offset], 4);
        return v;
    }
    uint16_t u16(size_t offset) const {
        need(offset, 2);
        uint16_t v;
        std::memcpy(&v, &bytes[offset], 2);
        return v;
    }
    std::string string(size_t offset) const {
        std::string text;
        while (offset < bytes.size() && bytes[offset]) text += char(bytes[offset++]);
        return text;
    }
    void need(size_t offset, size_t size) const {
        if (offset + size > bytes.size() || offset + size < offset)
            throw Pe32Failure{path + ": truncated or malformed PE32 image (offset " + std::to_string(offset) + ")"};
    }
};

constexpr int kExportDirectory = 0, kImportDirectory = 1, kRelocationDirectory = 5, kTlsDirectory = 9, kDelayImportDirectory = 13;

}  // namespace

std::string pe32Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

Pe32Image& Pe32Machine::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path + ": cannot open");
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Reader f{file, path};
    if (f.u16(0) != 0x5A4D) fail(path + ": no MZ header");
    uint32_t pe = f.u32(0x3C);
    if (f.u32(pe) != 0x00004550) fail(path + ": no PE signature");
    uint32_t coff = pe + 4;
    if (f.u16(coff) != 0x14C) fail(path + ": not an i386 image");
    uint16_t sectionCount = f.u16(coff + 2), optionalSize = f.u16(coff + 16), characteristics = f.u16(coff + 18);
    uint32_t opt = coff + 20;
    if (f.u16(opt) != 0x10B) fail(path + ": not a PE32 (32-bit) optional header");

    auto image = std::make_unique<Pe32Image>();
    auto slash = path.find_last_of("/\\");
    image->name = slash == std::string::npos ? path : path.substr(slash + 1);
    image->isDll = characteristics & 0x2000;
    image->preferredBase = f.u32(opt + 28);
    uint32_t sizeOfImage = (f.u32(opt + 56) + 0xFFF) & ~0xFFFu;
    uint32_t sizeOfHeaders = f.u32(opt + 60);
    uint32_t directoryCount = f.u32(opt + 92);
    auto directory = [&](int index) -> std::pair<uint32_t, uint32_t> {
        if (uint32_t(index) >= directoryCount) return {0, 0};
        return {f.u32(opt + 96 + 8 * index), f.u32(opt + 96 + 8 * index + 4)};
    };
    image->size = sizeOfImage;

    // Relocatable images are always moved, so a missed relocation cannot hide behind the preferred base.
    auto [relocRva, relocSize] = directory(kRelocationDirectory);
    bool relocatable = !(characteristics & 0x0001) && relocRva && relocSize;
    uint32_t base = image->preferredBase;
    if (relocatable) {
        base = nextImageBase_;
        if (base == image->preferredBase) base += 0x01000000;
        nextImageBase_ = (base + sizeOfImage + 0x00FFFFFF) & ~0x00FFFFFFu;
    }
    image->base = base;

    std::vector<uint8_t> memory(sizeOfImage, 0);
    f.need(0, std::min<size_t>(sizeOfHeaders, file.size()));
    std::memcpy(memory.data(), file.data(), std::min<size_t>({sizeOfHeaders, file.size(), memory.size()}));
    uint32_t sectionTable = opt + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint32_t s = sectionTable + 40 * i;
        f.need(s, 40);
        std::string name(reinterpret_cast<const char*>(&file[s]), strnlen(reinterpret_cast<const char*>(&file[s]), 8));
        uint32_t virtualSize = f.u32(s + 8), rva = f.u32(s + 12), rawSize = f.u32(s + 16), rawOffset = f.u32(s + 20);
        uint32_t span = virtualSize ? virtualSize : rawSize;
        if (uint64_t(rva) + span > sizeOfImage) fail(path + ": section " + name + " lies outside the image");
        uint32_t copy = std::min(rawSize, span);
        if (copy) {
            f.need(rawOffset, copy);
            std::memcpy(&memory[rva], &file[rawOffset], copy);
        }
        image->sections.push_back({name, rva, span});
    }
    Reader m{memory, path};

    if (relocatable) {
        uint32_t delta = base - image->preferredBase;
        for (uint32_t block = relocRva; block < relocRva + relocSize;) {
            uint32_t page = m.u32(block), blockSize = m.u32(block + 4);
            if (blockSize < 8) fail(path + ": malformed relocation block");
            for (uint32_t entry = block + 8; entry + 2 <= block + blockSize; entry += 2) {
                uint16_t e = m.u16(entry);
                uint32_t type = e >> 12, at = page + (e & 0xFFF);
                if (type == 0)  // IMAGE_REL_BASED_ABSOLUTE: padding to a 4-byte block size
                    continue;
                if (type != 3) fail(path + ": unsupported relocation type " + std::to_string(type));
                uint32_t value = m.u32(at) + delta;
                std::memcpy(&memory[at], &value, 4);
            }
            block += blockSize;
        }
    }
    uint32_t entry = f.u32(opt + 16);
    image->entryPoint = entry ? base + entry : 0;

    // By name only, as the evening asks for them; a forwarder names another DLL's export, which no
    // image here has.
    if (auto [exportRva, exportSize] = directory(kExportDirectory); exportRva) {
        uint32_t nameCount = m.u32(exportRva + 24), functions = m.u32(exportRva + 28);
        uint32_t names = m.u32(exportRva + 32), nameOrdinals = m.u32(exportRva + 36);
        for (uint32_t i = 0; i < nameCount; ++i) {
            uint32_t rva = m.u32(functions + 4 * m.u16(nameOrdinals + 2 * i));
            bool forwarder = rva >= exportRva && rva < exportRva + exportSize;
            if (rva && !forwarder) image->exportsByName[m.string(m.u32(names + 4 * i))] = base + rva;
        }
    }

    if (directory(kDelayImportDirectory).first) fail(path + ": delay-load imports are not supported");
    if (auto [importRva, importSize] = directory(kImportDirectory); importRva) bindImports(*image, memory, importRva);

    if (auto [tlsRva, tlsSize] = directory(kTlsDirectory); tlsRva) {
        // Fields hold VAs, already relocated above.
        uint32_t start = m.u32(tlsRva), end = m.u32(tlsRva + 4), indexVa = m.u32(tlsRva + 8);
        uint32_t callbacks = m.u32(tlsRva + 12), zeroFill = m.u32(tlsRva + 16);
        if (nextTlsIndex_ >= kTlsSlots) fail(path + ": no static TLS slot left");
        uint32_t tlsIndex = nextTlsIndex_++;
        uint32_t templateSize = end - start;
        std::vector<uint8_t> block(templateSize + zeroFill, 0);
        if (templateSize) {
            m.need(start - base, templateSize);
            std::memcpy(block.data(), &memory[start - base], templateSize);
        }
        uint32_t blockAddress = allocateSystem(std::max<uint32_t>(uint32_t(block.size()), 4), block.data());
        write32(tlsArray_ + 4 * tlsIndex, blockAddress);
        if (indexVa) {
            m.need(indexVa - base, 4);
            std::memcpy(&memory[indexVa - base], &tlsIndex, 4);
        }
        for (uint32_t at = callbacks; at; at += 4) {
            uint32_t callback = m.u32(at - base);
            if (!callback) break;
            image->tlsCallbacks.push_back(callback);
        }
    }

    if (uc_mem_map(uc_, base, sizeOfImage, UC_PROT_ALL) != UC_ERR_OK)
        fail(path + ": cannot map " + std::to_string(sizeOfImage) + " bytes at its base " + pe32Hex(base) + ", which is taken");
    write(base, memory.data(), memory.size());
    images_.push_back(std::move(image));
    return *images_.back();
}

void Pe32Machine::bindImports(Pe32Image& image, std::vector<uint8_t>& memory, uint32_t importRva) {
    Reader m{memory, image.name};
    for (uint32_t d = importRva;; d += 20) {
        uint32_t lookup = m.u32(d), dllName = m.u32(d + 12), thunks = m.u32(d + 16);
        if (!dllName && !thunks) break;
        std::string dll = m.string(dllName);
        if (!lookup) lookup = thunks;
        for (uint32_t i = 0;; ++i) {
            uint32_t entry = m.u32(lookup + 4 * i);
            if (!entry) break;
            // By ordinal: "#n", a name no shim function has.
            std::string name = entry & 0x80000000u ? "#" + std::to_string(uint16_t(entry)) : m.string(entry + 2);
            uint32_t address = resolveImport(dll, name);
            m.need(thunks + 4 * i, 4);
            std::memcpy(&memory[thunks + 4 * i], &address, 4);
        }
    }
}

uint32_t Pe32Machine::resolveImport(const std::string& dll, const std::string& name) {
    // Imports bind to the shim only: no guest here imports from another image.
    if (auto it = shimByName_.find(pe32Lower(dll) + "!" + name); it != shimByName_.end()) return it->second;
    // Bound to a trap rather than refused, so an import nobody calls does not stop the run.
    std::string full = dll + "!" + name;
    unresolvedImports.push_back(full);
    return addStub({full, 0, false, {}, "call of unresolved import " + full});
}
