// occt_read: reads one exchange file with Open CASCADE's STEP reader, as the speed reference for
// bench/compare. Built by that script with g++ directly; the product build never uses it.
//
//   occt_read FILE
//
// Times STEPControl_Reader::ReadFile (the whole file parsed and every entity built in the
// model; no transfer to shapes) and prints one line
//   peer seconds=S peak_rss=BYTES instances=N unknown=U errors=E status=ST bytes=B
// where unknown counts entities of types outside the reader's schemas (kept as undefined
// entities with their parameters read; all the STEP-NC ones) and errors those it could not read. Exits 0 when ReadFile returned IFSelect_RetDone, 1 otherwise, without freeing the model.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <IFSelect_ReturnStatus.hxx>
#include <Interface_InterfaceModel.hxx>
#include <STEPControl_Reader.hxx>
#include <StepData_UndefinedEntity.hxx>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: occt_read FILE\n", stderr);
    return 2;
  }
  struct stat st {};
  if (stat(argv[1], &st) != 0) {
    std::fprintf(stderr, "occt_read: cannot open %s\n", argv[1]);
    return 2;
  }
  STEPControl_Reader reader;
  const auto t0 = std::chrono::steady_clock::now();
  const IFSelect_ReturnStatus status = reader.ReadFile(argv[1]);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);

  long instances = 0, unknown = 0, errors = 0;
  std::map<std::string, long> errorTypes;
  Handle(Interface_InterfaceModel) model = reader.Model();
  if (!model.IsNull()) {
    instances = model->NbEntities();
    for (Standard_Integer i = 1; i <= model->NbEntities(); ++i) {
      if (model->Value(i)->IsKind(STANDARD_TYPE(StepData_UndefinedEntity))) ++unknown;
      if (model->IsErrorEntity(i)) {
        ++errors;
        ++errorTypes[model->Value(i)->DynamicType()->Name()];
      }
    }
  }
  for (const auto& [type, count] : errorTypes)
    std::fprintf(stderr, "occt_read: %ld entities of type %s could not be read\n", count, type.c_str());
  std::fflush(stdout);
  std::printf("peer seconds=%.6f peak_rss=%lld instances=%ld unknown=%ld error_entities=%ld status=%d bytes=%lld\n",
              seconds, static_cast<long long>(usage.ru_maxrss) * 1024, instances, unknown, errors,
              static_cast<int>(status), static_cast<long long>(st.st_size));
  std::fflush(stdout);
  // Freeing a model of millions of entities takes long and is not part of reading.
  std::_Exit(status == IFSelect_RetDone ? 0 : 1);
}
