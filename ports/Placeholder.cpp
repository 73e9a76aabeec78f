// Placeholder until port discovery lands.
namespace zerviko {
int PortsPlaceholder() { return 0; }
}  // namespace zerviko
