// The DICOM series writer of the import tests (ITK's GDCM image IO).
#include <itkGDCMImageIO.h>
#include <itkMetaDataObject.h>

#include "import_files.h"

namespace it {

void writeDicomSeries(const TestVolume &t, const std::string &dir, const std::string &uid, const std::string &stem)
{
    size_t page = static_cast<size_t>(t.nx) * t.ny;
    for (int z = 0; z < t.nz; z++) {
        auto io = itk::GDCMImageIO::New();
        io->KeepOriginalUIDOn();
        itk::MetaDataDictionary &dict = io->GetMetaDataDictionary();
        itk::EncapsulateMetaData<std::string>(dict, "0008|0060", "CT");
        itk::EncapsulateMetaData<std::string>(dict, "0020|000d", uid + ".1");
        itk::EncapsulateMetaData<std::string>(dict, "0020|000e", uid + ".2");
        itk::EncapsulateMetaData<std::string>(dict, "0008|0018", uid + ".3." + std::to_string(z + 1));
        itk::EncapsulateMetaData<std::string>(dict, "0020|0013", std::to_string(z + 1));
        io->SetNumberOfDimensions(3);
        io->SetDimensions(0, t.nx);
        io->SetDimensions(1, t.ny);
        io->SetDimensions(2, 1);
        for (unsigned a = 0; a < 3; a++) {
            io->SetSpacing(a, t.spacing[a]);
            io->SetOrigin(a, t.origin[a] + z * t.spacing[2] * t.dir[2][a]);
            io->SetDirection(a, std::vector<double>(t.dir[a], t.dir[a] + 3));
        }
        io->SetComponentType(itk::IOComponentEnum::SHORT);
        io->SetPixelType(itk::IOPixelEnum::SCALAR);
        io->SetNumberOfComponents(1);
        itk::ImageIORegion region(3);
        for (unsigned a = 0; a < 3; a++) {
            region.SetIndex(a, 0);
            region.SetSize(a, a < 2 ? io->GetDimensions(a) : 1);
        }
        io->SetIORegion(region);
        io->SetFileName(dir + "/" + stem + std::to_string(t.nz - z) + ".dcm");
        io->Write(t.v.data() + page * z);
    }
}

} // namespace it
