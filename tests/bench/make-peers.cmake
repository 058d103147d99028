# Writes what tools/bench needs to build and check the peers, the installers
# that someone would otherwise ship Pewsterline with, from the payload catalogue
# as the build reads it (catalogue.cmake), so that every one of them carries
# exactly the files the installer embeds:
#   payload-files.txt  one line per file: <size> <path below the installation folder>
#   pewline.nsi        an NSIS script (makensis -DCOMPRESS=lzma|off)
#   pewline.wxs        a WiX source for wixl: a per-user MSI
#   msi-never-overwrite.sql  msibuild queries, one a line, that mark the
#                      components of the user's data as never overwritten
#
#   cmake -DCATALOGUE=<payload/catalogue.txt> -DOUT=<folder> -P make-peers.cmake
#
# Where each group goes and when it is written is the catalogue's, as the
# installer reads it: its destination (the installation folder or its Help
# folder) and its policy (always, only when missing, only when none of the set
# exists).
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED CATALOGUE OR NOT DEFINED OUT)
  message(FATAL_ERROR "usage: cmake -DCATALOGUE=<catalogue.txt> -DOUT=<folder> -P make-peers.cmake")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../../payload/catalogue.cmake)
pew_read_payload_catalogue("${CATALOGUE}" catalogue)
if(NOT catalogue_ERRORS STREQUAL "")
  message(FATAL_ERROR "The payload catalogue cannot be read:\n${catalogue_ERRORS}")
endif()
get_filename_component(payloadRoot "${CATALOGUE}" DIRECTORY)

# How each group is installed, by the policy that the catalogue gives it.
set(place_replace always)
set(place_keep ifMissing)
set(place_keep-set setIfNoneExists)

set(successMessage
  "Pewsterline Version 2.1 has been installed successfully.$\\r$\\r"
  "You can open the program from the Start Menu or by double clicking the "
  "Pewsterline Ver. 2.1 icon on the Desktop.$\\r$\\r"
  "Once the program is open, click the Help button to view the Help File.")
string(CONCAT successMessage ${successMessage})

set(files "")
set(nsiFiles "")
set(wxsRootFiles "")
set(wxsHelpFiles "")
set(componentRefs "")
set(neverOverwrite "")
set(fileNumber 0)
foreach(group IN LISTS catalogue_GROUPS)
  set(place "${place_${catalogue_${group}_POLICY}}")
  set(folder "${payloadRoot}/${catalogue_${group}_FOLDER}")
  if(catalogue_${group}_DESTINATION STREQUAL "help")
    set(nsiFolder "$INSTDIR\\Help")
    set(listedFolder "Help\\")
    set(wxsList wxsHelpFiles)
    set(wxsIndent "  ")
  else()
    set(nsiFolder "$INSTDIR")
    set(listedFolder "")
    set(wxsList wxsRootFiles)
    set(wxsIndent "")
  endif()
  string(APPEND nsiFiles "  SetOutPath \"${nsiFolder}\"\n")
  if(place STREQUAL "ifMissing")
    string(APPEND nsiFiles "  SetOverwrite off\n")
  elseif(place STREQUAL "setIfNoneExists")
    foreach(i RANGE 1 ${catalogue_${group}_COUNT})
      string(REPLACE "$" "$$" name "${catalogue_${group}_NAME_${i}}")
      string(APPEND nsiFiles "  IfFileExists \"$INSTDIR\\${name}\" ${group}Done\n")
    endforeach()
  endif()

  foreach(i RANGE 1 ${catalogue_${group}_COUNT})
    set(name "${catalogue_${group}_NAME_${i}}")
    set(size "${catalogue_${group}_SIZE_${i}}")
    math(EXPR fileNumber "${fileNumber} + 1")
    string(APPEND files "${size} ${listedFolder}${name}\n")
    string(REPLACE "$" "$$" nsiName "${folder}/${name}")
    string(APPEND nsiFiles "  File \"${nsiName}\"\n")

    # One component per file, its key path; the user's data is never replaced.
    if(place STREQUAL "ifMissing" OR place STREQUAL "setIfNoneExists")
      # wixl does not know the attribute: tools/bench sets it with msibuild.
      string(APPEND neverOverwrite
        "UPDATE `Component` SET `Attributes` = 128 WHERE `Component` = 'File${fileNumber}'\n")
    endif()
    string(REPLACE "&" "&amp;" xmlName "${name}")
    string(REPLACE "&" "&amp;" xmlSource "${catalogue_${group}_FOLDER}/${name}")
    set(component
      "        <Component Id=\"File${fileNumber}\" Guid=\"*\">\n"
      "          <File Id=\"File${fileNumber}\" Name=\"${xmlName}\" Source=\"${xmlSource}\" KeyPath=\"yes\"/>\n"
      "        </Component>\n")
    string(CONCAT component ${component})
    string(APPEND ${wxsList} "${wxsIndent}${component}")
    string(APPEND componentRefs "      <ComponentRef Id=\"File${fileNumber}\"/>\n")
  endforeach()
  if(place STREQUAL "ifMissing")
    string(APPEND nsiFiles "  SetOverwrite on\n")
  elseif(place STREQUAL "setIfNoneExists")
    string(APPEND nsiFiles "  ${group}Done:\n")
  endif()
endforeach()
file(WRITE "${OUT}/payload-files.txt" "${files}")
file(WRITE "${OUT}/msi-never-overwrite.sql" "${neverOverwrite}")

file(WRITE "${OUT}/pewline.nsi" "\
; The NSIS peer of the Pewsterline installer (made by make-peers.cmake).
; makensis -DCOMPRESS=lzma for a solid LZMA archive, -DCOMPRESS=off for none.
Name \"Pewsterline\"
Caption \"Pewsterline Installer\"
!if \${COMPRESS} == off
  SetCompress off
!else
  SetCompressor /SOLID \${COMPRESS}
!endif
OutFile \"\${OUTFILE}\"
InstallDir \"c:\\pewline\"
RequestExecutionLevel user
XPStyle on
ManifestDPIAware true
AutoCloseWindow true

; One page with the folder and Install (the button of the page before the
; files page says Install), then the page that shows the copying.
Page directory
Page instfiles

Section
${nsiFiles}
  ; A shortcut starts in the output folder.
  SetOutPath \"$INSTDIR\"
  CreateShortcut \"$DESKTOP\\Pewsterline Ver. 2.1.lnk\" \"$INSTDIR\\Rotaplan.exe\"
  CreateDirectory \"$SMPROGRAMS\\Pewsterline\"
  CreateShortcut \"$SMPROGRAMS\\Pewsterline\\Pewsterline Ver. 2.1.lnk\" \"$INSTDIR\\Rotaplan.exe\"
  CreateShortcut \"$SMPROGRAMS\\Pewsterline\\Help.lnk\" \"$INSTDIR\\Help\\index.htm\"
  CreateShortcut \"$SMPROGRAMS\\Pewsterline\\Uninstall Information.lnk\" \"$INSTDIR\\Uninstall.txt\"
  MessageBox MB_OK|MB_ICONINFORMATION \"${successMessage}\"
SectionEnd
")

file(WRITE "${OUT}/pewline.wxs" "\
<?xml version=\"1.0\" encoding=\"utf-8\"?>
<!-- The MSI peer of the Pewsterline installer (made by make-peers.cmake), for wixl. -->
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Product Id=\"*\" Name=\"Pewsterline\" Language=\"1033\" Version=\"2.1.0.0\" Manufacturer=\"Pewsterline\"
           UpgradeCode=\"5E0B4C1A-3F2D-4B8E-9A41-7C2E5D1F0A21\">
    <Package InstallerVersion=\"200\" Compressed=\"yes\" InstallScope=\"perUser\"/>
    <Media Id=\"1\" Cabinet=\"payload.cab\" EmbedCab=\"yes\"/>
    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">
      <Directory Id=\"INSTALLDIR\" Name=\"pewline\">
${wxsRootFiles}        <Directory Id=\"HELPDIR\" Name=\"Help\">
${wxsHelpFiles}        </Directory>
      </Directory>
      <Directory Id=\"DesktopFolder\"/>
      <Directory Id=\"ProgramMenuFolder\">
        <Directory Id=\"ProgramGroup\" Name=\"Pewsterline\">
          <Component Id=\"Shortcuts\" Guid=\"0C8E2F6B-1D4A-4E7F-8B25-6A9D3C1E7F42\">
            <Shortcut Id=\"DesktopLink\" Directory=\"DesktopFolder\" Name=\"Pewsterline Ver. 2.1\"
                      Target=\"[INSTALLDIR]Rotaplan.exe\" WorkingDirectory=\"INSTALLDIR\"/>
            <Shortcut Id=\"GroupLink\" Name=\"Pewsterline Ver. 2.1\"
                      Target=\"[INSTALLDIR]Rotaplan.exe\" WorkingDirectory=\"INSTALLDIR\"/>
            <Shortcut Id=\"HelpLink\" Name=\"Help\"
                      Target=\"[INSTALLDIR]Help\\index.htm\" WorkingDirectory=\"INSTALLDIR\"/>
            <Shortcut Id=\"UninstallLink\" Name=\"Uninstall Information\"
                      Target=\"[INSTALLDIR]Uninstall.txt\" WorkingDirectory=\"INSTALLDIR\"/>
            <RemoveFolder Id=\"ProgramGroup\" On=\"uninstall\"/>
            <RegistryValue Root=\"HKCU\" Key=\"Software\\Pewsterline\\Installer\" Name=\"Shortcuts\"
                           Type=\"integer\" Value=\"1\" KeyPath=\"yes\"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id=\"Complete\" Level=\"1\">
${componentRefs}      <ComponentRef Id=\"Shortcuts\"/>
    </Feature>
  </Product>
</Wix>
")
