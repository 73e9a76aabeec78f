// The pictures are compiled into this library by the build; nothing else lives here.
namespace zerviko::resources {
int PicturesLinked() { return 1; }
}  // namespace zerviko::resources
