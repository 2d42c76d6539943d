# A network serial server in rfc2217 mode in front of the simulator.
add_test(NAME rfc2217_through_ser2net
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../e2e/rfc2217_ser2net.sh $<TARGET_FILE_DIR:ombrix-cli>
          ${PROJECT_SOURCE_DIR}/data/demo-bus.cfg)
set_tests_properties(rfc2217_through_ser2net PROPERTIES LABELS e2e TIMEOUT 120)
