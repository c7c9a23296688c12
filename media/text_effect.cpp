#include "media/text_effect.h"

#include "core/allocator.h"

namespace {

class ModuleTextEffect : public TextEffect {
public:
    ModuleTextEffect(std::uint32_t code_, const char* name_) {
        code = code_;
        name = name_;
    }

    void* deletingDestructor(unsigned flags) override {
        this->~ModuleTextEffect();
        if (flags & 1) freeBytes(this);
        return this;
    }
};

}  // namespace

TextEffect* makeTextEffect(std::uint32_t code, const char* name) { return create<ModuleTextEffect>(code, name); }
