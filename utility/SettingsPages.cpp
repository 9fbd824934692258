#include "utility/SettingsPages.h"

namespace vexal::utility {

std::unique_ptr<CSettingsPage> WrapPage(std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&),
                                        const SQtPageContext& context, QWidget* pParent) {
    std::unique_ptr<CPageLogic> pLogic = pfnMake(context.Logic());
    if (pLogic == nullptr)
        return nullptr;
    return std::make_unique<CSettingsPage>(std::move(pLogic), context, pParent);
}

std::unique_ptr<CSettingsPage> CreateLANConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeLanPage, context, pParent);
}

}  // namespace vexal::utility
