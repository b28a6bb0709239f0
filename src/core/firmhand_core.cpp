// firmhand_core gathers the subsystem libraries into one library that the
// front-ends link. The subsystems live in the folders beside this file.
namespace firmhand {
const char* CoreLibraryName() { return "firmhand_core"; }
}  // namespace firmhand
